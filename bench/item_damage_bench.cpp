// How well the marks of damaged items match the damage: a file of items with long bodies and
// large attachments is written, 30 random 4 KiB regions of it are zeroed, and each item the
// damaged file still lists is compared with what the sound file says its blocks were. An item
// is truly damaged when one of its blocks meets a zeroed region.
//
//   item_damage_bench [ITEMS] [SEED]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>

#include "engine/ndb_format.h"
#include "message/item_damage.h"
#include "message/node_data.h"
#include "recovery/recovery_pass.h"
#include "writers/pst/store_writer.h"

namespace {

using namespace brevik;

struct Region {
    std::uint64_t start, end;
};

bool meets(const std::vector<Region>& zeroed, std::uint64_t start, std::uint64_t end) {
    return std::any_of(zeroed.begin(), zeroed.end(),
                       [&](const Region& r) { return start < r.end && r.start < end; });
}

std::unique_ptr<RecoveredBase> recover(const std::string& path) {
    auto base = std::make_unique<RecoveredBase>();
    base->keepBodyCopies = false;
    setMessageBasePath(*base, path);
    openMessageBase(*base);
    return base;
}

// Every block an item reads, as inspectItem walks them.
std::vector<BlockIndex> itemBlocks(RecoveredBase& b, const MessageNodeEntry& e) {
    std::vector<BlockIndex> blocks;
    nodeDataBlocks(b, e.dataIndex, blocks);
    if (e.subnodeIndex != kNoBlock) blocks.push_back(e.subnodeIndex);
    for (const SubnodeEntry& s : e.subnodes)
        nodeDataBlocks(b, s.dataIndex, blocks);
    return blocks;
}

}  // namespace

int main(int argc, char** argv) {
    const int items = argc > 1 ? std::atoi(argv[1]) : 2000;
    const unsigned seed = argc > 2 ? static_cast<unsigned>(std::atoi(argv[2])) : 1;
    const auto dir = std::filesystem::temp_directory_path();
    const std::string sound = (dir / "item_damage_bench.pst").string();
    const std::string damaged = (dir / "item_damage_bench_damaged.pst").string();

    std::mt19937 rng(seed);
    pst::WriteStatus status;
    auto writer = pst::PstWriter::create(sound, {}, status);
    if (!writer) return 1;
    const auto inbox = writer->addFolder(pst::kTopOfPersonalFolders, {"Inbox", "IPF.Note", {}, {}});
    for (int i = 0; i < items; ++i) {
        pst::Item item;
        item.properties = {pst::unicodeProperty(0x001A, "IPM.Note"),
                           pst::unicodeProperty(0x0037, "mail " + std::to_string(i)),
                           pst::unicodeProperty(0x1000, std::string(2000 + rng() % 60000, 'b'))};
        for (unsigned k = rng() % 3; k > 0; --k) {
            pst::Attachment a;
            a.properties = {pst::int32Property(0x3705, 1),
                            pst::unicodeProperty(0x3707, "file" + std::to_string(k) + ".bin")};
            a.data.resize(1000 + rng() % 200000);
            for (std::uint8_t& byte : a.data)
                byte = static_cast<std::uint8_t>(rng());
            item.attachments.push_back(std::move(a));
        }
        if (!inbox || !writer->addItem(*inbox, item)) return 1;
    }
    if (!writer->finish()) return 1;

    std::ifstream in(sound, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    std::vector<Region> zeroed;
    for (int r = 0; r < 30; ++r) {
        const std::uint64_t at = (1024 + rng() % (bytes.size() - 5120)) & ~std::uint64_t{4095};
        std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), 4096, 0);
        zeroed.push_back({at, at + 4096});
    }
    std::ofstream(damaged, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));

    auto before = recover(sound);
    std::map<std::uint32_t, bool> trulyDamaged;  // node id -> a block meets a zeroed region
    for (std::uint32_t i = 0; i < before->itemCount; ++i) {
        const MessageNodeEntry& e = before->messageEntries[i];
        if (e.source != ItemSource::Index || !e.reachable) continue;
        bool hit = false;
        for (BlockIndex k : itemBlocks(*before, e)) {
            const BlockEntry& blk = before->blockTable[static_cast<std::size_t>(k)];
            hit |= meets(zeroed, blk.fileOffset,
                         blk.fileOffset + ndb::blockExtent(blk.byteCount, before->layout));
        }
        trulyDamaged[e.nodeId] = hit;
    }
    auto after = recover(damaged);
    int kept = 0, marked = 0, right = 0, missed = 0, fromRows = 0;
    for (std::uint32_t i = 0; i < after->itemCount; ++i) {
        const MessageNodeEntry& e = after->messageEntries[i];
        const auto truth = trulyDamaged.find(e.nodeId);
        if (truth == trulyDamaged.end() || e.loadFailed) continue;
        ++kept;
        if (e.source == ItemSource::TableRow) {
            ++fromRows;
            continue;
        }
        const bool mark = findDamage(after->damagedItems, i) != nullptr;
        marked += mark;
        right += mark && truth->second;
        missed += !mark && truth->second;
    }
    const auto damagedItems = std::count_if(trulyDamaged.begin(), trulyDamaged.end(),
                                            [](const auto& t) { return t.second; });
    std::printf("%d items, %.0f MB, 30 regions of 4 KiB zeroed (seed %u)\n", items,
                static_cast<double>(bytes.size()) / 1e6, seed);
    std::printf("items whose blocks were hit: %ld\n", static_cast<long>(damagedItems));
    std::printf("kept %d of %zu (%d of them from table rows)\n", kept, trulyDamaged.size(),
                fromRows);
    std::printf("marked %d, right %d, wrong %d, hit but unmarked %d\n", marked, right,
                marked - right, missed);
    std::filesystem::remove(sound);
    std::filesystem::remove(damaged);
    return 0;
}
