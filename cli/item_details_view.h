// What `show` prints of an item's own fields: appointments, tasks, contacts, lists, journal.
#pragma once

#include <iosfwd>
#include <nlohmann/json_fwd.hpp>

#include "message/item_details.h"

namespace brevik::cli {

// Adds the fields to `j` (start, end, allDay, location, organizer, attendees, recurrence, due,
// status, percentComplete, emails, phones, addresses, company, title, birthday, members, ...).
void addDetailsJson(nlohmann::json& j, const ItemDetails& details);
// The same as lines of text, "Label:       value".
void writeDetailsText(std::ostream& out, const ItemDetails& details);

}  // namespace brevik::cli
