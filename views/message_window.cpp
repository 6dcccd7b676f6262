#include "views/message_window.h"

#include <QShortcut>
#include <QVBoxLayout>

#include "views/locale_dates.h"
#include "views/preview_pane.h"
#include "views/safe_browser.h"

namespace brevik::views {

namespace {

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

QByteArray bytesOf(const Bytes& b) {
    return QByteArray(reinterpret_cast<const char*>(b.data()), static_cast<qsizetype>(b.size()));
}

// The attachment an HTML body names by `id`: by content id, or by file name as some mailers
// write it.
int attachmentNamed(const app::ShownMessage& m, const QString& id) {
    const QString bare = id.startsWith(QLatin1Char('<')) && id.endsWith(QLatin1Char('>'))
                             ? id.mid(1, id.size() - 2)
                             : id;
    for (std::size_t k = 0; k < m.attachments.size(); ++k)
        if (qs(m.attachments[k].contentId).compare(bare, Qt::CaseInsensitive) == 0)
            return static_cast<int>(k);
    for (std::size_t k = 0; k < m.attachments.size(); ++k)
        if (qs(m.attachments[k].name).compare(bare, Qt::CaseInsensitive) == 0)
            return static_cast<int>(k);
    return -1;
}

}  // namespace

QList<int> listedAttachments(int count, const std::function<bool(int)>& shownInline) {
    QList<int> listed;
    for (int k = 0; k < count; ++k)
        if (!shownInline || !shownInline(k)) listed << k;
    return listed;
}

MessageWindow::MessageWindow(std::shared_ptr<const app::ShownMessage> message,
                             const QString& openFolder, const QString& saveFolder, QWidget* parent)
    : QWidget(parent, Qt::Window),
      message_(std::move(message)),
      openFolder_(openFolder),
      saveFolder_(saveFolder) {
    setAttribute(Qt::WA_DeleteOnClose);
    const app::ShownMessage& m = *message_;
    setWindowTitle(m.subject.empty() ? tr("Attached message") : qs(m.subject));
    preview_ = new PreviewPane(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(preview_);
    resize(760, 560);
    // A window of its own closes with the keys a dialog closes with.
    for (const QKeySequence& key :
         {QKeySequence(Qt::Key_Escape), QKeySequence(QKeySequence::Close)})
        connect(new QShortcut(key, this), &QShortcut::activated, this, &QWidget::close);

    const QString html = m.bodyFormat == 1 ? qs(m.body) : QString();
    QList<int> inlineShown;
    for (const QString& id : SafeBrowser::namedContentIds(html))
        if (const int k = attachmentNamed(m, id); k >= 0) inlineShown << k;
    const QList<int> listed = listedAttachments(static_cast<int>(m.attachments.size()),
                                                [&](int k) { return inlineShown.contains(k); });

    PreviewHeader h;
    h.from = qs(m.from);
    h.to = qs(m.to);
    h.subject = qs(m.subject);
    h.cc = qs(m.cc);
    h.sent = localeDateTime(m.sentTime);
    if (m.receivedTime != m.sentTime) h.received = localeDateTime(m.receivedTime);
    for (int k : listed)
        h.attachments << AttachmentEntry{
            qs(m.attachments[static_cast<std::size_t>(k)].name),
            m.attachments[static_cast<std::size_t>(k)].message != nullptr};
    std::weak_ptr<const app::ShownMessage> held = message_;
    h.attachmentData = [held, listed](int k) {
        const auto msg = held.lock();
        return msg ? bytesOf(msg->attachments[static_cast<std::size_t>(listed[k])].data)
                   : QByteArray();
    };
    h.openMessage = [this, listed](int k) {
        const auto& a = message_->attachments[static_cast<std::size_t>(listed[k])];
        if (!a.message) return;
        auto* w = new MessageWindow(a.message, openFolder_, saveFolder_, window());
        w->show();
    };
    preview_->attachmentList()->setFolders(openFolder_, saveFolder_);
    if (m.bodyFormat == 3) {
        preview_->fillHeader(h, false, qs(m.body));
        return;
    }
    preview_->fillHeader(h, false, std::nullopt);
    const std::string path =
        app::writeAttachmentFile(openFolder_.toStdString(), "message.html", m.body, false, true);
    preview_->browser()->showFile(qs(path), [held](const QString& id) {
        const auto msg = held.lock();
        const int k = msg ? attachmentNamed(*msg, id) : -1;
        return k < 0 ? QByteArray() : bytesOf(msg->attachments[static_cast<std::size_t>(k)].data);
    });
    preview_->setRemoteNotice(SafeBrowser::namesRemotePictures(html));
}

}  // namespace brevik::views
