// The fields of one item that its kind has beyond mail: read from the file each time.
#pragma once

#include <cstdint>
#include <optional>

#include "engine/message_base.h"
#include "message/appointment.h"
#include "message/contact.h"
#include "message/dist_list.h"
#include "message/item_type.h"
#include "message/named_ids.h"
#include "message/task.h"

namespace brevik {

struct ItemDetails {
    std::optional<AppointmentFields> appointment;  // appointments and meeting items
    std::optional<TaskFields> task;                // tasks and task requests
    std::optional<ContactFields> contact;
    std::optional<DistListFields> distList;
    std::optional<JournalFields> journal;

    bool any() const { return appointment || task || contact || distList || journal; }
};

// The fields of item `itemIndex` for its type; nothing for mail, notes and reports, or when the
// item cannot be read.
ItemDetails readItemDetails(MessageBase& base, const NamedIds& names, std::uint32_t itemIndex,
                            ItemType type);

}  // namespace brevik
