#include "message/item_damage.h"

#include <gtest/gtest.h>

#include <map>

#include "engine/ndb_format.h"
#include "message/item_summary.h"
#include "recovery/recovery_pass.h"
#include "support/damage.h"
#include "support/damaged_items.h"
#include "support/peer_tools.h"
#include "support/pst_image.h"

namespace brevik {
namespace {

TEST(ItemDamage, AFailingBlockCostsItsPartAndIsNamedWhileTheRestOfTheItemIsKept) {
    test::TempDir dir;
    const std::string path = (dir.path() / "parts.pst").string();
    test::writeDamagedItemsFile(path);
    const auto base = test::openImage(test::readFileBytes(path));
    openMessageBase(*base);
    ASSERT_EQ(base->resultOk, 1);
    ASSERT_EQ(base->itemCount, 4u);  // no item is dropped for a part

    std::map<std::string, std::string> marks;
    for (std::uint32_t i = 0; i < base->itemCount; ++i) {
        const DamagedItem* d = findDamage(base->damagedItems, i);
        marks[base->itemSummaries[i].subjectText] = d ? partNames(d->parts) : "";
        if (d) {
            for (const DamagedPart& p : d->parts)
                EXPECT_FALSE(p.blockOffsets.empty()) << p.name;
        }
    }
    EXPECT_EQ(marks,
              (std::map<std::string, std::string>{{"attachments", "attachment 2 (invoice.pdf)"},
                                                  {"long body", "body"},
                                                  {"recipients", "recipients"},
                                                  {"whole", ""}}));
    EXPECT_EQ(base->damage.count(DamageKind::ItemPartsDamaged), 3u);
    EXPECT_TRUE(base->damage.dataLost());
    // A checksum that fails keeps the bytes as read: all but one character of the body is there
    // (the flipped one may take more bytes in UTF-8).
    for (std::uint32_t i = 0; i < base->itemCount; ++i)
        if (base->itemSummaries[i].subjectText == "long body") {
            EXPECT_GE(base->itemSummaries[i].bodyLength, 20004u);
        }
}

// A writer that fills the checksums its own way (or not at all) leaves them unchecked: a sound
// file of such a writer has no damaged items, and a trailer that names another size still counts.
// One that fills whole trailers its own way leaves them all unchecked.
TEST(ItemDamage, ChecksumsCountOnlyWhereTheFilesWriterKeepsThem) {
    test::TempDir dir;
    const std::string path = (dir.path() / "parts.pst").string();
    test::writeDamagedItemsFile(path);
    Bytes image = test::readFileBytes(path);
    const auto sound = test::openImage(image);
    openMessageBase(*sound);
    ASSERT_TRUE(sound->trailerCrcsHold);
    // Flips bits of the byte `back` bytes before the end of every live block's trailer.
    auto rewriteTrailers = [&](std::size_t back, std::uint8_t bits) {
        for (const BlockEntry& e : sound->blockTable) {
            const std::uint64_t end = e.fileOffset + ndb::blockExtent(e.byteCount, sound->layout);
            if (e.reachable && end <= image.size()) image[end - back] ^= bits;
        }
    };
    rewriteTrailers(12, 0x5A);  // dwCRC (Unicode)
    const auto other = test::openImage(image);
    openMessageBase(*other);
    ASSERT_EQ(other->resultOk, 1);
    EXPECT_FALSE(other->trailerCrcsHold);
    ASSERT_EQ(other->damagedItems.size(), 1u);
    EXPECT_EQ(partNames(other->damagedItems[0].parts), "attachment 2 (invoice.pdf)");

    // Trailers that name other blocks throughout are no sign of damage either.
    rewriteTrailers(8, 0x40);  // bid (Unicode)
    const auto odd = test::openImage(image);
    openMessageBase(*odd);
    ASSERT_EQ(odd->resultOk, 1);
    EXPECT_FALSE(odd->trailersHold);
    EXPECT_TRUE(odd->damagedItems.empty());
    EXPECT_EQ(odd->itemCount, 4u);
}

}  // namespace
}  // namespace brevik
