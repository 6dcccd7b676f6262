// Contacts as vCard 3.0 (RFC 2426) and distribution lists as vCard 4.0 groups (RFC 6350, KIND
// and MEMBER), written by hand: escaping and folding are the whole difficulty.
//
// Why 3.0 for contacts: Outlook imports vCard 2.1 and 3.0 but refuses 4.0, and Google, Apple and
// Thunderbird read 3.0 as well as 4.0. Groups exist only in 4.0, so lists use it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "message/contact.h"
#include "message/dist_list.h"

namespace brevik::vcf {

// A text value with backslash, comma, semicolon and line breaks escaped (RFC 6350 3.4).
std::string escapeText(std::string_view text);
// `line` (without its CRLF) folded to lines of at most 75 octets, never inside a UTF-8
// character, each continuation starting with one blank; CRLF-ended.
std::string foldLine(std::string_view line);

// A stable "urn:uuid:" for the item with node id `nodeId` of a file: what a list's MEMBER names.
std::string memberUid(std::uint32_t nodeId, std::uint64_t fileKey);

std::string contactCard(const ContactFields& contact, const std::string& uid);
std::string listCard(const DistListFields& list, const std::string& uid, std::uint64_t fileKey);

}  // namespace brevik::vcf
