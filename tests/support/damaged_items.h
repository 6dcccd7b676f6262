// A small file whose items are readable but lose a part each: the damage a recovery must name
// per item rather than drop or hide.
#pragma once

#include <string>

namespace brevik::test {

// Writes `path` with one Inbox of four mail items, then damages three of them in place:
//   "long body"     a byte of its body's last data block flipped (its checksum fails),
//   "attachments"   the trailer of its second attachment's ("invoice.pdf") data cut short,
//   "recipients"    its recipient table block overwritten,
//   "whole"         left as written.
void writeDamagedItemsFile(const std::string& path);

}  // namespace brevik::test
