// Items as entries of an mboxrd file (RFC 4155): a "From " line, the message with LF line ends
// and every line that starts with ">*From " quoted by one more ">", then an empty line.
#pragma once

#include <string>

#include "writers/pst/store_model.h"

namespace brevik::mbox {

// `calendar`: the text/calendar a meeting item carries (eml::EmlOptions::calendar).
std::string mboxEntry(const pst::Item& item, const std::string& calendar = {});

// `message` (LF line ends) with its mboxrd quoting, ending in a newline.
std::string quoteFromLines(const std::string& message);

}  // namespace brevik::mbox
