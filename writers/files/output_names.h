// Safe names for saved files and folders: whatever a subject, a folder name or an attachment
// name holds, the result is one plain name inside the folder it is made for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>

#include "writers/pst/write_status.h"

namespace brevik::files {

// Longest name stem in bytes of UTF-8; with a number and an extension a name stays well under
// the 255 bytes file systems allow.
inline constexpr std::size_t kMaxStemBytes = 150;

// `text` as one file name: separators, control characters and characters other systems forbid
// become "_", blanks and dots are trimmed at both ends, reserved device names get a "_", invalid
// UTF-8 becomes "_", and the result is cut at a character boundary to `maxBytes`. Empty when
// nothing usable is left.
std::string safeName(std::string_view text, std::size_t maxBytes = kMaxStemBytes);

// An attachment's name as a file name: only its last path component, made safe; "attachment"
// when nothing is left.
std::string attachmentFileName(std::string_view name);

// "<number>_<subject>" made safe ("<number>" without a subject).
std::string itemFileStem(std::uint32_t number, std::string_view subject);

// The names taken in one folder; a second "a.eml" becomes "a (2).eml". Names are compared
// without letter case, so the files also fit on case-insensitive file systems.
class NameSet {
  public:
    std::string claim(const std::string& stem, const std::string& extension);

  private:
    std::unordered_set<std::string> taken_;
};

// Makes a new folder `name` inside `parent` ("name (2)" and so on when it exists) and returns
// its path in `made`. An existing folder is never reused.
pst::WriteStatus makeFreshFolder(const std::string& parent, const std::string& name,
                                 std::string& made);

}  // namespace brevik::files
