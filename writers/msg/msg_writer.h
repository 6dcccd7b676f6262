// One item as an Outlook message file ([MS-OXMSG]): a compound file, written through libgsf,
// holding the property stream, a stream per string or binary value (text as UTF-16), recipient
// and attachment storages, embedded messages as sub-storages and the named-property map.
#pragma once

#include <vector>

#include "engine/bytes.h"
#include "writers/pst/store_model.h"

namespace brevik::msg {

// `names` is the table that ids of 0x8000 and above point into (0x8000 + index); the file maps
// only the names the item uses. 8-bit strings are written as Unicode, in the item's code page.
Bytes writeMsg(const pst::Item& item, const std::vector<pst::NamedProperty>& names);

}  // namespace brevik::msg
