// Sample files damaged in memory the way disks and crashed writers damage them: the pass must
// end in time without touching its source, and still find a share of the items that the design
// can reach.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>

#include "recovery/recovery_pass.h"
#include "support/corpus.h"
#include "support/damage.h"
#include "support/peer_tools.h"

namespace brevik {
namespace {

using namespace std::chrono_literals;
using test::HeaderLayout;
using test::RecoveryOutcome;

// Generous: a healthy pass over these files takes well under a second, even with sanitizers.
constexpr auto kTimeLimit = 30s;

struct DamageCase {
    const char* name;
    std::function<void(Bytes&, bool unicode)> apply;
    // Least share of the undamaged run's items found again, per file of kFiles. The header, its
    // checksum, the crypt byte, the roots and the intermediate pages are never needed: every leaf
    // page is found by its trailer and every node by the leaf pages, so nothing may be lost
    // there. The other floors are what the pass reaches today (items whose only node entries or
    // data blocks were destroyed are gone for good).
    std::array<double, 3> floor;
};

constexpr std::array<double, 3> kAll = {1, 1, 1};

void zeroPages(Bytes& image, const std::vector<std::uint64_t>& offsets) {
    for (std::uint64_t o : offsets)
        test::zeroRange(image, o, 512);
}

const std::vector<DamageCase>& damageCases() {
    static const std::vector<DamageCase> cases = {
        {"header zeroed", [](Bytes& b, bool u) { test::zeroRange(b, 0, HeaderLayout::of(u).size); },
         kAll},
        {"header checksum broken", [](Bytes& b, bool) { b[test::kCrcPartialPos] ^= 0x5A; }, kAll},
        {"crypt method wrong", [](Bytes& b, bool u) { b[HeaderLayout::of(u).cryptPos] = 0x7E; },
         kAll},
        {"both roots zeroed",
         [](Bytes& b, bool u) {
             zeroPages(b, {test::headerRoot(b, u, true), test::headerRoot(b, u, false)});
         },
         kAll},
        // Live pages only: the space of a stale index page may hold live blocks by now.
        {"intermediate pages zeroed",
         [](Bytes& b, bool u) {
             std::vector<std::uint64_t> pages;
             for (const auto& p : test::liveIndexPages(b, u))
                 if (p.level > 0) pages.push_back(p.offset);
             zeroPages(b, pages);
         },
         kAll},
        {"half the live leaf node pages zeroed",
         [](Bytes& b, bool u) {
             std::vector<std::uint64_t> pages;
             bool odd = false;
             for (const auto& p : test::liveIndexPages(b, u))
                 if (p.nodeIndex && p.level == 0 && (odd = !odd)) pages.push_back(p.offset);
             zeroPages(b, pages);
         },
         kAll},
        {"truncated to 90%", [](Bytes& b, bool) { b.resize(b.size() * 9 / 10); }, {0.70, 1, 1}},
        {"truncated to 60%", [](Bytes& b, bool) { b.resize(b.size() * 6 / 10); }, {0.37, 0.50, 1}},
        {"5% of pages zeroed",
         [](Bytes& b, bool) {
             std::mt19937_64 rng(20261208);
             std::vector<std::uint64_t> pages(b.size() / 512);
             for (std::size_t i = 0; i < pages.size(); ++i)
                 pages[i] = i * 512;
             std::shuffle(pages.begin(), pages.end(), rng);
             pages.resize(pages.size() / 20);
             zeroPages(b, pages);
         },
         {0.83, 0.88, 0.5}},
        // Hostile entries (huge offsets, counts and ids) behind valid trailers: what survives
        // is what the item data blocks still hold on their own.
        {"live leaf entries garbled",
         [](Bytes& b, bool u) {
             std::mt19937 rng(4);
             const std::size_t body = u ? 488 : 496;
             for (const auto& p : test::liveIndexPages(b, u))
                 if (p.level == 0)
                     for (std::size_t i = 0; i < body; ++i)
                         b[p.offset + i] = static_cast<std::uint8_t>(rng());
         },
         {0.32, 0.70, 1}},
    };
    return cases;
}

const char* const kFiles[] = {"chunks-part1.pst", "outlook1.pst", "sample2.pst"};

bool isUnicodeImage(const Bytes& image) {
    // wVer at offset 10: 14 and 15 are ANSI, 23 and later Unicode.
    return get16(image, 10) >= 23;
}

TEST(DamageHelpers, IndexPagesAndRootsOfASampleFile) {
    BREVIK_REQUIRE_CORPUS();
    for (const char* name : kFiles) {
        SCOPED_TRACE(name);
        const Bytes image = test::readFileBytes(test::corpusPath(std::string("pst/") + name));
        const bool unicode = isUnicodeImage(image);
        EXPECT_EQ(unicode, std::string(name) != "sample2.pst");
        const auto pages = test::findIndexPages(image, unicode);
        bool rootsSeen[2] = {false, false};
        for (const auto& p : pages) {
            for (bool node : {false, true})
                if (p.offset == test::headerRoot(image, unicode, node) && p.nodeIndex == node)
                    rootsSeen[node] = true;
        }
        EXPECT_TRUE(rootsSeen[0] && rootsSeen[1]) << "both roots are index pages of their kind";
        EXPECT_TRUE(std::any_of(pages.begin(), pages.end(), [](auto& p) { return p.level > 0; }));
    }
}

TEST(Damage, RecoveryEndsInTimeLeavesTheSourceAloneAndKeepsItsFloor) {
    BREVIK_REQUIRE_CORPUS();
    std::map<std::string, std::string> table;  // case -> row text
    for (const char* const& name : kFiles) {
        const Bytes original = test::readFileBytes(test::corpusPath(std::string("pst/") + name));
        ASSERT_FALSE(original.empty()) << name;
        const bool unicode = isUnicodeImage(original);
        const RecoveryOutcome baseline = test::recoverImage(original, kTimeLimit);
        ASSERT_TRUE(baseline.finished && baseline.resultOk) << name;
        ASSERT_FALSE(baseline.items.empty()) << name;

        const std::size_t column = static_cast<std::size_t>(&name - kFiles);
        for (const DamageCase& c : damageCases()) {
            SCOPED_TRACE(std::string(name) + ": " + c.name);
            Bytes damaged = original;
            c.apply(damaged, unicode);
            ASSERT_NE(damaged, original) << "the damage changed nothing";
            const auto start = std::chrono::steady_clock::now();
            const RecoveryOutcome got = test::recoverImage(damaged, kTimeLimit);
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - start)
                                .count();
            ASSERT_TRUE(got.finished) << "the pass did not end within the limit";
            EXPECT_TRUE(got.sourceUnchanged);
            const double r = test::recall(baseline, got);
            EXPECT_GE(r + 1e-9, c.floor[column]) << "recall " << r;
            // Without its header the file's newest index pages stand in for the lost roots, so
            // deleted items stay marked deleted and live ones live. (With the root pages
            // themselves gone, older roots may stand in: marks may differ there.)
            const std::string caseName = c.name;
            if (caseName.starts_with("header") || caseName.starts_with("crypt")) {
                auto sorted = [](auto v) {
                    std::sort(v.begin(), v.end());
                    return v;
                };
                EXPECT_EQ(sorted(got.deletedItems), sorted(baseline.deletedItems));
            }
            char cell[96];
            std::snprintf(cell, sizeof cell, " %4zu/%-4zu %5.1f%% %5lldms |",
                          static_cast<std::size_t>(r * baseline.items.size() + 0.5),
                          baseline.items.size(), 100 * r, static_cast<long long>(ms));
            table[c.name] += cell;
        }
    }
    std::printf("%-36s|", "damage \\ file (found/base, time)");
    for (const char* name : kFiles)
        std::printf(" %-26s|", name);
    std::printf("\n");
    for (const DamageCase& c : damageCases())
        std::printf("%-36s|%s\n", c.name, table[c.name].c_str());
}

TEST(Damage, AFileOnDiskIsNotWritten) {
    BREVIK_REQUIRE_CORPUS();
    // A damaged copy the test may write to: the pass must not, whatever it finds.
    Bytes image = test::readFileBytes(test::corpusPath("pst/outlook1.pst"));
    ASSERT_FALSE(image.empty());
    test::zeroRange(image, 0, HeaderLayout::of(true).size);
    image.resize(image.size() * 9 / 10);
    test::TempDir dir;
    const auto path = dir.path() / "damaged.pst";
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(image.data()),
                  static_cast<std::streamsize>(image.size()));
    }
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);

    RecoveredBase base;
    setMessageBasePath(base, path.string());
    openMessageBase(base);
    EXPECT_EQ(base.resultOk, 1);
    EXPECT_GT(base.itemCount, 0u);
    base.release();

    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(test::readFileBytes(path.string()), image);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
}

}  // namespace
}  // namespace brevik
