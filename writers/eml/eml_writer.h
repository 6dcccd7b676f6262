// One item as an Internet message (RFC 5322 with MIME), built through GMime.
#pragma once

#include <string>

#include "writers/pst/store_model.h"

namespace brevik::eml {

struct EmlOptions {
    bool crlf = true;  // line ends: CRLF for .eml files, LF for mbox
    // An iCalendar object (with its METHOD) that a meeting request, response or cancellation
    // carries: written as a text/calendar alternative to the body. Empty for other mail.
    std::string calendar;
};

// The item's original transport headers are kept when it has them (without their Content-*
// headers, which described the original body); headers it lacks come from its properties.
// Text and HTML bodies become multipart/alternative, images the HTML refers to by content id go
// with it under multipart/related, other attachments follow as base64 parts with RFC 2231 names,
// and embedded messages as message/rfc822 parts, written the same way.
std::string writeEml(const pst::Item& item, const EmlOptions& options = {});

}  // namespace brevik::eml
