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
        case DamageKind::Count:
            break;
    }
    return "";
}

const char* itemSourceName(const MessageNodeEntry& entry) {
    switch (entry.source) {
        case ItemSource::Index:
            return entry.reachable ? "live index" : "stale index";
        case ItemSource::DataAlone:
            return "data alone";
        case ItemSource::TableRow:
            return "table row";
    }
    return "";
}

}  // namespace brevik
