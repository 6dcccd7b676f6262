// One recovered item as an Internet message, for the desktop's mail program and the source
// view: the same writer as the .eml save.
#pragma once

#include <cstdint>
#include <string>

#include "recovery/recovered_base.h"

namespace brevik::eml {

// The item as an .eml: all its properties, recipients and attachments as read from the file;
// when they cannot be read, what its summary row holds. A contact's body is its fields as text.
std::string itemAsEml(RecoveredBase& base, std::uint32_t item);

// The header lines the item came with (its transport headers), or those an .eml of it gets.
std::string itemSourceHeaders(RecoveredBase& base, std::uint32_t item);

}  // namespace brevik::eml
