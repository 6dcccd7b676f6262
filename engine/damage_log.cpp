#include "engine/damage_log.h"

#include "engine/item_tables.h"

namespace brevik {

const char* damageKindName(DamageKind kind) {
    switch (kind) {
        case DamageKind::FileShorterThanHeader:
            return "file shorter than its header says";
        case DamageKind::LiveIndexPageChecksum:
            return "live index pages failing their checksum";
        case DamageKind::LiveBlockPastEnd:
            return "live block entries past the end of the file";
        case DamageKind::LiveNodeWithoutData:
            return "live node entries without data";
        case DamageKind::ItemNotLoaded:
            return "items whose properties could not be read";
        case DamageKind::StaleIndexEntries:
            return "stale or garbled index entries";
        case DamageKind::UnreadablePages:
            return "pages that could not be read";
        case DamageKind::FolderNotLoaded:
            return "folders whose properties could not be read";
        case DamageKind::HeaderDamaged:
            return "header damaged (its checksums, crypt method or allocation-map flag)";
        case DamageKind::IndexRootLost:
            return "index roots lost (the index was rebuilt from its pages)";
        case DamageKind::IndexPageDamaged:
            return "index pages damaged (the index was rebuilt from the pages left)";
        case DamageKind::AllocationMapDamaged:
            return "allocation-map pages damaged";
        case DamageKind::FolderLost:
            return "folders lost (their items are in Lost and Found folders)";
        case DamageKind::ItemOnlyRowLeft:
            return "items of which only their row in a folder's table is left";
        case DamageKind::DeflatedBlocks:
            return "compressed blocks that do not inflate to their stated size";
        case DamageKind::ItemPartsDamaged:
            return "items with damaged parts (a body, attachments or recipients)";
        case DamageKind::Count:
            break;
    }
    return "";
}

namespace {
constexpr const char* kSourceNames[kItemSourceSlots] = {"live index", "stale index", "data alone",
                                                        "table row"};
}  // namespace

std::size_t itemSourceSlot(const MessageNodeEntry& entry) {
    switch (entry.source) {
        case ItemSource::Index:
            return entry.reachable ? 0 : 1;
        case ItemSource::DataAlone:
            return 2;
        case ItemSource::TableRow:
            return 3;
    }
    return 0;
}

const char* itemSourceSlotName(std::size_t slot) {
    return slot < kItemSourceSlots ? kSourceNames[slot] : "";
}

const char* itemSourceName(const MessageNodeEntry& entry) {
    return itemSourceSlotName(itemSourceSlot(entry));
}

}  // namespace brevik
