// The properties of a writer item read as text, numbers and times, for the .eml and .msg writers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "writers/pst/store_model.h"

namespace brevik::files {

// Reads one property list (an item's, a recipient's or an attachment's). 8-bit strings are
// decoded in the code page the list names, else in `fallbackCodepage` (0: Windows-1252).
class ItemFields {
  public:
    explicit ItemFields(const pst::PropertyList& properties, std::uint32_t fallbackCodepage = 0);

    // UTF-8 text of a string property; empty optional when absent or not a string.
    std::optional<std::string> text(std::uint16_t id) const;
    // Like text(), but an empty value counts as absent.
    std::optional<std::string> nonEmpty(std::uint16_t id) const;
    std::optional<std::uint32_t> int32(std::uint16_t id) const;
    std::optional<std::uint64_t> time(std::uint16_t id) const;  // FILETIME
    const Bytes* binary(std::uint16_t id) const;
    // The subject without its leading marker and prefix-length characters.
    std::string subject() const;
    // The HTML body as UTF-8 (binary bodies are decoded in the HTML code page).
    std::optional<std::string> html() const;
    std::uint32_t codepage() const { return codepage_; }

  private:
    const pst::PropertyList& properties_;
    std::uint32_t codepage_ = 0;
    std::uint32_t htmlCodepage_ = 0;
};

// UTF-8 text of a string value of the given type (0x001F or 0x001E in `codepage`).
std::string decodeString(const pst::Property& p, std::uint32_t codepage);

}  // namespace brevik::files
