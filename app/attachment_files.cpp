#include "app/attachment_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/app_state.h"
#include "message/property_tags.h"
#include "writers/files/item_fields.h"
#include "writers/files/output_names.h"
#include "writers/msg/msg_writer.h"
#include "writers/pst/recovered_store.h"

namespace brevik::app {

namespace {

// Attached messages inside attached messages: a damaged file may nest them without end.
constexpr int kMaxNesting = 16;
constexpr unsigned kMaxNumbered = 10000;

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string withoutBrackets(std::string id) {
    if (id.size() >= 2 && id.front() == '<' && id.back() == '>') id = id.substr(1, id.size() - 2);
    return id;
}

ShownMessage shownMessage(const pst::Item& item, const pst::RecoveredNames& names, int depth);

ShownAttachment shownAttachment(const pst::Attachment& a, const pst::RecoveredNames& names,
                                int depth) {
    const files::ItemFields f(a.properties);
    ShownAttachment out;
    out.name = f.nonEmpty(pid::kAttachLongFilename)
                   .value_or(f.nonEmpty(pid::kAttachFilename)
                                 .value_or(f.nonEmpty(pid::kDisplayName).value_or("Attachment")));
    out.mimeType = f.nonEmpty(pid::kAttachMimeTag).value_or("");
    out.contentId = withoutBrackets(f.nonEmpty(pid::kAttachContentId).value_or(""));
    if (a.embedded && depth < kMaxNesting) {
        if (out.name.size() < 4 || out.name.compare(out.name.size() - 4, 4, ".msg") != 0)
            out.name += ".msg";
        out.data = msg::writeMsg(*a.embedded, names.table);
        out.message = std::make_shared<ShownMessage>(shownMessage(*a.embedded, names, depth + 1));
    } else {
        out.data = a.data;
    }
    return out;
}

ShownMessage shownMessage(const pst::Item& item, const pst::RecoveredNames& names, int depth) {
    const files::ItemFields f(item.properties);
    ShownMessage m;
    m.from =
        f.nonEmpty(pid::kSentRepresentingName).value_or(f.nonEmpty(pid::kSenderName).value_or(""));
    m.to = f.nonEmpty(pid::kDisplayTo).value_or("");
    m.cc = f.nonEmpty(pid::kDisplayCc).value_or("");
    m.subject = f.subject();
    m.sentTime = f.time(pid::kClientSubmitTime).value_or(0);
    m.receivedTime = f.time(pid::kMessageDeliveryTime).value_or(0);
    if (auto html = f.html()) {
        m.bodyFormat = 1;
        m.body = std::move(*html);
    } else if (auto text = f.nonEmpty(pid::kBody)) {
        m.bodyFormat = 3;
        m.body = std::move(*text);
    }
    for (const pst::Attachment& a : item.attachments)
        m.attachments.push_back(shownAttachment(a, names, depth));
    return m;
}

}  // namespace

std::string writeAttachmentFile(const std::string& folder, std::string_view name,
                                std::string_view bytes, bool replace, bool privateFile,
                                std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return std::string();
    };
    if (folder.empty()) return fail("no folder");
    makePath(folder);
    const std::string safe = files::attachmentFileName(name);
    const std::size_t dot = safe.find_last_of('.');
    const std::string stem = dot == std::string::npos || dot == 0 ? safe : safe.substr(0, dot);
    const std::string ext = stem.size() == safe.size() ? std::string() : safe.substr(dot);
    const std::string dir = folder.back() == '/' ? folder : folder + "/";
    const mode_t mode = privateFile ? 0600 : 0666;
    if (replace) {
        // The whole file under a working name, renamed over the old one when complete.
        std::string working = dir + "._" + safe.substr(0, 64) + ".XXXXXX";
        const int fd = ::mkstemp(working.data());
        if (fd < 0) return fail(std::strerror(errno));
        const bool ok = writeAll(fd, bytes) && ::fchmod(fd, mode & ~0022) == 0;
        const bool closed = ::close(fd) == 0;
        const std::string path = dir + safe;
        if (!ok || !closed || ::rename(working.c_str(), path.c_str()) != 0) {
            const std::string why = std::strerror(errno);
            ::unlink(working.c_str());
            return fail(why);
        }
        return path;
    }
    for (unsigned n = 1; n <= kMaxNumbered; ++n) {
        const std::string path =
            dir + (n == 1 ? safe : stem + " (" + std::to_string(n) + ")" + ext);
        const int fd =
            ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) return fail(std::strerror(errno));
        const bool ok = writeAll(fd, bytes);
        const int why = errno;
        if (::close(fd) != 0 || !ok) {
            ::unlink(path.c_str());
            return fail(std::strerror(ok ? errno : why));
        }
        return path;
    }
    return fail("too many files named " + safe);
}

std::optional<ShownAttachment> attachedMessage(RecoveredBase& base, std::uint32_t item,
                                               std::size_t k) {
    const pst::RecoveredNames names = pst::recoveredNames(base);
    const auto read = pst::recoveredItem(base, item, names);
    if (!read) return std::nullopt;
    for (const pst::Attachment& a : read->attachments)
        if (a.embedded && k-- == 0) return shownAttachment(a, names, 1);
    return std::nullopt;
}

}  // namespace brevik::app
