#include "app/attachment_files.h"

#include "app/app_state.h"
#include "engine/native_files.h"
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
    using native::WritableFile;
    // Written whole or not at all: a file that fails part way is removed again.
    auto writeNew = [&](const std::string& path) -> native::IoError {
        WritableFile file;
        if (auto e = file.open(path, WritableFile::Mode::Exclusive, privateFile); e.failed())
            return e;
        native::IoError e = file.append(bytes.data(), bytes.size());
        if (const native::IoError closed = file.close(); !e.failed()) e = closed;
        if (e.failed()) native::removeFile(path);
        return e;
    };
    if (replace) {
        // The whole file under a working name, renamed over the old one when complete.
        const std::string path = dir + safe;
        for (unsigned n = 0; n < kMaxNumbered; ++n) {
            const std::string working = dir + "._" + safe.substr(0, 64) + "." +
                                        std::to_string(native::processId()) + "-" +
                                        std::to_string(n);
            native::IoError e = writeNew(working);
            if (e.kind == native::IoErrorKind::Exists) continue;
            if (!e.failed()) e = native::renameReplace(working, path);
            if (!e.failed()) return path;
            native::removeFile(working);
            return fail(e.text);
        }
        return fail("too many working files in " + folder);
    }
    for (unsigned n = 1; n <= kMaxNumbered; ++n) {
        const std::string path =
            dir + (n == 1 ? safe : stem + " (" + std::to_string(n) + ")" + ext);
        const native::IoError e = writeNew(path);
        if (e.kind == native::IoErrorKind::Exists) continue;
        if (e.failed()) return fail(e.text);
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
