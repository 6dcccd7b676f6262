// An item handed to the desktop's mail program, and the source an item came with: what the
// views show of an item that takes a writer to make.
#pragma once

#include <cstdint>
#include <string>

#include "recovery/recovered_base.h"

namespace brevik::app {

// Writes the item as "open_<item>_<seconds>.eml" into `folder` (made when missing), where it
// stays until the program ends so that the mail program may take its time to read it. The
// file's path; empty when it could not be written.
std::string writeOpenedItem(RecoveredBase& base, std::uint32_t item, const std::string& folder);

// The header lines the item came with (its transport headers), or those an .eml of it gets.
std::string itemSourceHeaders(RecoveredBase& base, std::uint32_t item);

}  // namespace brevik::app
