// Class-prefix strings and the item kinds derived from message and container classes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "message/records.h"

namespace brevik {

// Numbered strings: 1 names unnamed folders and orphan groups, 2..18, 27 and 28 are message
// class prefixes, 19..24 container class prefixes, 25 names an attachment without a name, 26 is
// the top of the personal folders. Empty for the unused numbers 0 and 29; nullopt outside 0..29.
std::optional<std::string> classPrefixString(int number);

// Kind of an item from its message class (PidTagMessageClass); 200 when nothing matches.
ItemKind messageClassKind(std::string_view messageClass);
// Kind of a folder from its container class (PidTagContainerClass); 200 when nothing matches.
ItemKind containerClassKind(std::string_view containerClass);

}  // namespace brevik
