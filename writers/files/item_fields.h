// The properties of a writer item read as text, numbers and times, for the .eml and .msg writers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "writers/pst/store_model.h"

namespace brevik::files {

// Property ids the file writers read.
namespace pid {
inline constexpr std::uint16_t kMessageClass = 0x001A;
inline constexpr std::uint16_t kSubject = 0x0037;
inline constexpr std::uint16_t kClientSubmitTime = 0x0039;
inline constexpr std::uint16_t kSentRepresentingName = 0x0042;
inline constexpr std::uint16_t kSentRepresentingAddressType = 0x0064;
inline constexpr std::uint16_t kSentRepresentingEmail = 0x0065;
inline constexpr std::uint16_t kConversationTopic = 0x0070;
inline constexpr std::uint16_t kTransportHeaders = 0x007D;
inline constexpr std::uint16_t kRecipientType = 0x0C15;
inline constexpr std::uint16_t kSenderName = 0x0C1A;
inline constexpr std::uint16_t kSenderAddressType = 0x0C1E;
inline constexpr std::uint16_t kSenderEmail = 0x0C1F;
inline constexpr std::uint16_t kDeliveryTime = 0x0E06;
inline constexpr std::uint16_t kBody = 0x1000;
inline constexpr std::uint16_t kHtml = 0x1013;
inline constexpr std::uint16_t kInternetMessageId = 0x1035;
inline constexpr std::uint16_t kReferences = 0x1039;
inline constexpr std::uint16_t kInReplyTo = 0x1042;
inline constexpr std::uint16_t kDisplayName = 0x3001;
inline constexpr std::uint16_t kAddressType = 0x3002;
inline constexpr std::uint16_t kEmailAddress = 0x3003;
inline constexpr std::uint16_t kCreationTime = 0x3007;
inline constexpr std::uint16_t kAttachFilename = 0x3704;
inline constexpr std::uint16_t kAttachMethod = 0x3705;
inline constexpr std::uint16_t kAttachLongFilename = 0x3707;
inline constexpr std::uint16_t kAttachMimeTag = 0x370E;
inline constexpr std::uint16_t kAttachContentId = 0x3712;
inline constexpr std::uint16_t kAttachFlags = 0x3714;
inline constexpr std::uint16_t kSmtpAddress = 0x39FE;
inline constexpr std::uint16_t kInternetCodepage = 0x3FDE;
inline constexpr std::uint16_t kMessageCodepage = 0x3FFD;
inline constexpr std::uint16_t kSenderSmtpAddress = 0x5D01;
inline constexpr std::uint16_t kSentRepresentingSmtpAddress = 0x5D02;
}  // namespace pid

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
