// The preview of an item that is more than mail: an appointment or meeting with when, where, who
// and how often; a task; a contact card with its picture; a distribution list's members; a
// journal entry. An HTML page for the safe viewer.
#pragma once

#include <string>

#include "message/item_details.h"
#include "message/item_summary.h"

namespace brevik::views {

// The name the contact picture goes by in the page ("cid:" + this).
inline constexpr const char* kContactPictureId = "contact-picture";

// The page for `details` (of the item `row` describes), UTF-8; empty when there is nothing of
// the kind to show.
std::string itemDetailsPage(const ItemSummary& row, const ItemDetails& details);

}  // namespace brevik::views
