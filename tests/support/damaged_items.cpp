#include "support/damaged_items.h"

#include <gtest/gtest.h>

#include "engine/ndb_format.h"
#include "engine/trailers.h"
#include "message/node_data.h"
#include "recovery/recovery_pass.h"
#include "support/damage.h"
#include "support/pst_image.h"
#include "support/written_store.h"

namespace brevik::test {
namespace {

pst::Attachment attachment(const std::string& name, std::size_t size) {
    pst::Attachment a;
    a.properties = {pst::int32Property(0x3705, 1), pst::unicodeProperty(0x3707, name)};
    a.data.resize(size);
    for (std::size_t k = 0; k < size; ++k)
        a.data[k] = static_cast<std::uint8_t>(k * 7 + 3);
    return a;
}

pst::Recipient recipient(const std::string& name) {
    return {{pst::unicodeProperty(0x3001, name),
             pst::unicodeProperty(0x3003, name + "@example.com"), pst::int32Property(0x0C15, 1)}};
}

const MessageNodeEntry& itemNamed(const RecoveredBase& b, const std::string& subject) {
    for (std::uint32_t i = 0; i < b.itemCount; ++i)
        if (b.itemSummaries[i].subjectText == subject) return b.messageEntries[i];
    ADD_FAILURE() << "no item " << subject;
    return b.messageEntries.front();
}

}  // namespace

void writeDamagedItemsFile(const std::string& path) {
    std::vector<pst::Item> items;
    items.push_back(
        mailItem("long body", {pst::unicodeProperty(0x1000, std::string(20000, 'x') + "end")}));
    items.push_back(mailItem("attachments"));
    items.back().attachments = {attachment("a.txt", 100), attachment("invoice.pdf", 30000)};
    items.push_back(mailItem("recipients"));
    items.back().recipients = {recipient("Ann"), recipient("Bob")};
    items.push_back(mailItem("whole"));
    ASSERT_TRUE(writeInbox(path, items));

    Bytes image = readFileBytes(path);
    const auto sound = openImage(image);
    openMessageBase(*sound);
    ASSERT_EQ(sound->itemCount, 4u);
    const RecoveredBase& b = *sound;
    auto blockOf = [&](BlockIndex i) -> const BlockEntry& {
        return b.blockTable[static_cast<std::size_t>(i)];
    };

    // The body: the item's one top-level subnode that is no table, a data tree of blocks.
    for (const SubnodeEntry& s : itemNamed(b, "long body").subnodes) {
        if (s.ownerDataIndex != 0 || (s.nodeId & 0x1F) == ndb::kNidTypeAttachment) continue;
        std::vector<BlockIndex> blocks;
        nodeDataBlocks(*sound, s.dataIndex, blocks);
        const BlockEntry& last = blockOf(blocks.back());
        image[last.fileOffset + last.byteCount / 2] ^= 0x20;
    }
    // The second attachment's data: a subnode of the attachment's own subnode.
    std::vector<std::uint32_t> attachments;
    const MessageNodeEntry& withAttachments = itemNamed(b, "attachments");
    for (const SubnodeEntry& s : withAttachments.subnodes)
        if (s.ownerDataIndex == 0 && (s.nodeId & 0x1F) == ndb::kNidTypeAttachment)
            attachments.push_back(s.nodeId);
    ASSERT_EQ(attachments.size(), 2u);
    for (const SubnodeEntry& s : withAttachments.subnodes) {
        if (s.ownerNodeId != attachments[1]) continue;
        std::vector<BlockIndex> blocks;
        nodeDataBlocks(*sound, s.dataIndex, blocks);
        const BlockEntry& last = blockOf(blocks.back());
        const std::uint64_t trailer = last.fileOffset +
                                      ndb::blockExtent(last.byteCount, sound->layout) -
                                      sound->layout.blockTrailerSize;
        store16(&image[trailer], static_cast<std::uint16_t>(last.byteCount / 2));
    }
    for (const SubnodeEntry& s : itemNamed(b, "recipients").subnodes)
        if (s.nodeId == ndb::kNidRecipientTable) {
            const BlockEntry& table = blockOf(s.dataIndex);
            std::fill_n(&image[table.fileOffset], table.byteCount, 0xA5);
        }
    writeFileBytes(path, image);
}

}  // namespace brevik::test
