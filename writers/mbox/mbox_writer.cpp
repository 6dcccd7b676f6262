#include "writers/mbox/mbox_writer.h"

#include <ctime>

#include "engine/filetime.h"
#include "writers/eml/eml_writer.h"
#include "writers/files/header_values.h"
#include "writers/files/item_fields.h"

namespace brevik::mbox {
namespace {

// "From <address> <asctime>" with the sender's SMTP address and the item's time (UTC).
std::string fromLine(const pst::Item& item) {
    const files::ItemFields f(item.properties);
    std::string address = "MAILER-DAEMON";
    for (std::uint16_t id : {pid::kSentRepresentingSmtpAddress, pid::kSenderSmtpAddress,
                             pid::kSentRepresentingEmailAddress, pid::kSenderEmailAddress})
        if (auto a = f.nonEmpty(id); a && a->find('@') != std::string::npos &&
                                     files::headerText(*a) == *a &&
                                     a->find(' ') == std::string::npos) {
            address = *a;
            break;
        }
    auto t = f.time(pid::kClientSubmitTime);
    if (!t) t = f.time(pid::kMessageDeliveryTime);
    if (!t) t = f.time(pid::kCreationTime);
    std::time_t seconds = 0;
    if (t && *t >= filetime::kUnixEpochTicks)
        seconds = static_cast<std::time_t>(filetime::unixSeconds(*t));
    std::tm tm{};
    ::gmtime_r(&seconds, &tm);
    char date[32];
    std::strftime(date, sizeof date, "%a %b %e %H:%M:%S %Y", &tm);
    return "From " + address + " " + date + "\n";
}

}  // namespace

std::string quoteFromLines(const std::string& message) {
    std::string out;
    out.reserve(message.size() + message.size() / 64 + 2);
    std::size_t start = 0;
    while (start < message.size()) {
        std::size_t end = message.find('\n', start);
        if (end == std::string::npos) end = message.size();
        std::size_t p = start;
        while (p < end && message[p] == '>')
            ++p;
        if (message.compare(p, 5, "From ") == 0) out += '>';
        out.append(message, start, end - start);
        out += '\n';
        start = end + 1;
    }
    return out;
}

std::string mboxEntry(const pst::Item& item, const std::string& calendar) {
    eml::EmlOptions options;
    options.crlf = false;
    options.calendar = calendar;
    return fromLine(item) + quoteFromLines(eml::writeEml(item, options)) + "\n";
}

}  // namespace brevik::mbox
