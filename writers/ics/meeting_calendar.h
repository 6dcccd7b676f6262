// The text/calendar part of a meeting request, response or cancellation saved as mail.
#pragma once

#include <cstdint>
#include <string>

#include "message/named_ids.h"
#include "recovery/recovered_base.h"

namespace brevik::ics {

// The calendar item `itemIndex` carries when it is meeting mail; empty otherwise.
std::string meetingCalendarOf(RecoveredBase& base, const NamedIds& names, std::uint32_t itemIndex);

}  // namespace brevik::ics
