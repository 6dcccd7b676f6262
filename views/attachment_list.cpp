#include "views/attachment_list.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeDatabase>
#include <QStatusTipEvent>

#include "app/attachment_files.h"
#include "platform/prompter.h"

namespace brevik::views {

namespace {

constexpr int kIconSize = 16;

const char* const kFamilyNames[] = {"generic",  "text",        "image",        "pdf",
                                    "document", "spreadsheet", "presentation", "archive",
                                    "audio",    "video",       "message",      "program"};

bool nameHas(const QString& mime, std::initializer_list<const char*> parts) {
    for (const char* p : parts)
        if (mime.contains(QLatin1String(p))) return true;
    return false;
}

}  // namespace

FileFamily fileFamily(const QString& fileName) {
    static const QMimeDatabase db;
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0 || dot + 1 >= fileName.size()) return FileFamily::Generic;
    const QString ext = fileName.mid(dot + 1).toLower();
    // Names Windows runs, which the MIME database on other systems may not know as programs.
    static const QStringList kPrograms = {
        QStringLiteral("exe"), QStringLiteral("com"), QStringLiteral("bat"),
        QStringLiteral("cmd"), QStringLiteral("scr"), QStringLiteral("pif"),
        QStringLiteral("vbs"), QStringLiteral("vbe"), QStringLiteral("js"),
        QStringLiteral("jse"), QStringLiteral("wsf"), QStringLiteral("hta"),
        QStringLiteral("msi"), QStringLiteral("ps1"), QStringLiteral("jar"),
        QStringLiteral("lnk"), QStringLiteral("sh"),  QStringLiteral("desktop")};
    if (kPrograms.contains(ext)) return FileFamily::Program;
    const QMimeType mime = db.mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
    const QString n = mime.name();
    for (const char* program :
         {"application/x-executable", "application/x-sharedlib", "application/x-shellscript",
          "application/x-desktop", "application/x-ms-dos-executable", "application/x-msdownload"})
        if (mime.inherits(QLatin1String(program))) return FileFamily::Program;
    if (n == QLatin1String("message/rfc822") || nameHas(n, {"ms-outlook"}))
        return FileFamily::Message;
    if (n.startsWith(QLatin1String("image/"))) return FileFamily::Image;
    if (n.startsWith(QLatin1String("audio/"))) return FileFamily::Audio;
    if (n.startsWith(QLatin1String("video/"))) return FileFamily::Video;
    if (n == QLatin1String("application/pdf")) return FileFamily::Pdf;
    if (nameHas(n, {"spreadsheet", "excel", "text/csv"})) return FileFamily::Spreadsheet;
    if (nameHas(n, {"presentation", "powerpoint"})) return FileFamily::Presentation;
    if (nameHas(n, {"wordprocessing", "msword", "opendocument.text", "rtf"}))
        return FileFamily::Document;
    if (nameHas(n, {"zip", "tar", "rar", "7z", "compressed", "gzip", "bzip", "xz", "archive"}))
        return FileFamily::Archive;
    if (mime.inherits(QStringLiteral("text/plain"))) return FileFamily::Text;
    return FileFamily::Generic;
}

QIcon attachmentIcon(const QString& fileName, QString* iconName) {
    const QString name = QString::fromLatin1(kFamilyNames[static_cast<int>(fileFamily(fileName))]);
    if (iconName) *iconName = name;
    return QIcon(QStringLiteral(":/resources/icons/type-%1.svg").arg(name));
}

AttachmentList::AttachmentList(QWidget* parent) : QListWidget(parent) {
    setViewMode(QListView::ListMode);
    setFlow(QListView::LeftToRight);
    setWrapping(true);
    setResizeMode(QListView::Adjust);
    setSpacing(2);
    setIconSize(QSize(kIconSize, kIconSize));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setAccessibleName(tr("Attachments"));
    setToolTip(tr("Double-click to open; right-click to save"));
    pickSavePath = [](QWidget* owner, const QString& proposed) {
        return QFileDialog::getSaveFileName(owner, tr("Save Attachment As"), proposed);
    };
    pickFolder = [](QWidget* owner, const QString& start) {
        return QFileDialog::getExistingDirectory(owner, tr("Save All Attachments"), start);
    };
    opener = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    connect(this, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { openAttachment(row(item)); });
}

void AttachmentList::setFolders(const QString& openFolder, const QString& saveFolder) {
    openFolder_ = openFolder;
    if (saveFolder_.isEmpty()) saveFolder_ = saveFolder;
}

void AttachmentList::setAttachments(const QList<AttachmentEntry>& entries, DataSource data,
                                    std::function<void(int)> openMessage) {
    clear();
    entries_ = entries;
    data_ = std::move(data);
    openMessage_ = std::move(openMessage);
    iconNames_.clear();
    for (const AttachmentEntry& e : entries_) {
        QString iconName;
        const QIcon icon = e.message ? attachmentIcon(QStringLiteral("x.eml"), &iconName)
                                     : attachmentIcon(e.name, &iconName);
        iconNames_ << iconName;
        auto* item = new QListWidgetItem(icon, e.name, this);
        item->setToolTip(e.name);
    }
    fitHeight();
}

void AttachmentList::fitHeight() {
    // Two rows at most; more scroll.
    const int rowHeight = std::max(fontMetrics().height(), kIconSize) + 6;
    setFixedHeight(count() > 0 ? 2 * rowHeight + 4 : 0);
}

void AttachmentList::tellStatus(const QString& text) {
    QStatusTipEvent tip(text);
    QCoreApplication::sendEvent(window(), &tip);
}

QString AttachmentList::openAttachment(int k) {
    if (k < 0 || k >= entries_.size()) return {};
    const AttachmentEntry& e = entries_[k];
    if (e.message && openMessage_) {
        openMessage_(k);
        return {};
    }
    if (fileFamily(e.name) == FileFamily::Program &&
        !platform::Prompter::current().ask(
            this, tr("\"%1\" may be a program, and opening it could run it. Open it anyway?")
                      .arg(e.name)))
        return {};
    const QByteArray bytes = data_ ? data_(k) : QByteArray();
    std::string error;
    const QString path = QString::fromStdString(app::writeAttachmentFile(
        openFolder_.toStdString(), e.name.toStdString(), bytes.toStdString(), false, true, &error));
    if (path.isEmpty()) {
        platform::Prompter::current().warn(
            this, tr("Could not write %1: %2").arg(e.name, QString::fromStdString(error)));
        return {};
    }
    if (!opener(QUrl::fromLocalFile(path)))
        platform::Prompter::current().warn(
            this, tr("No program is set up to open %1. It was written to %2.").arg(e.name, path));
    return path;
}

QString AttachmentList::saveAttachmentAs(int k) {
    if (k < 0 || k >= entries_.size()) return {};
    QString proposed = QFileInfo(entries_[k].name).fileName();
    proposed.replace(QLatin1Char('\\'), QLatin1Char('_'));
    const QString chosen = pickSavePath(
        window(), QDir(saveFolder_).filePath(proposed.isEmpty() ? tr("attachment") : proposed));
    if (chosen.isEmpty()) return {};
    const QFileInfo target(chosen);
    saveFolder_ = target.absolutePath();
    const QByteArray bytes = data_ ? data_(k) : QByteArray();
    std::string error;
    // The picker asked before an existing file was chosen: replacing it is the user's wish.
    const QString path = QString::fromStdString(
        app::writeAttachmentFile(saveFolder_.toStdString(), target.fileName().toStdString(),
                                 bytes.toStdString(), target.exists(), false, &error));
    if (path.isEmpty()) {
        platform::Prompter::current().warn(
            this, tr("Could not save %1: %2").arg(chosen, QString::fromStdString(error)));
        return {};
    }
    tellStatus(tr("Saved %1").arg(path));
    return path;
}

QStringList AttachmentList::saveAllAttachments() {
    if (entries_.isEmpty()) return {};
    const QString folder = pickFolder(window(), saveFolder_);
    if (folder.isEmpty()) return {};
    saveFolder_ = folder;
    return saveAllInto(folder);
}

QStringList AttachmentList::saveAllInto(const QString& folder) {
    QStringList written;
    QStringList failed;
    for (int k = 0; k < entries_.size(); ++k) {
        const QByteArray bytes = data_ ? data_(k) : QByteArray();
        std::string error;
        const QString path = QString::fromStdString(
            app::writeAttachmentFile(folder.toStdString(), entries_[k].name.toStdString(),
                                     bytes.toStdString(), false, false, &error));
        if (path.isEmpty())
            failed << entries_[k].name;
        else
            written << path;
    }
    if (!failed.isEmpty())
        platform::Prompter::current().warn(
            this, tr("Saved %1 of %2 attachments to %3. Could not save: %4")
                      .arg(written.size())
                      .arg(entries_.size())
                      .arg(folder, failed.join(QStringLiteral(", "))));
    else
        tellStatus(written.size() == 1
                       ? tr("Saved 1 attachment to %1").arg(folder)
                       : tr("Saved %1 attachments to %2").arg(written.size()).arg(folder));
    return written;
}

QMenu* AttachmentList::buildContextMenu(int k) {
    if (k < 0 || k >= entries_.size()) return nullptr;
    auto* menu = new QMenu(this);
    menu->addAction(entries_[k].message ? tr("&Open in a Viewer") : tr("&Open"), this,
                    [this, k] { openAttachment(k); });
    menu->addAction(tr("&Save Attachment As..."), this, [this, k] { saveAttachmentAs(k); });
    menu->addAction(tr("Save &All Attachments..."), this, [this] { saveAllAttachments(); });
    return menu;
}

void AttachmentList::contextMenuEvent(QContextMenuEvent* e) {
    QListWidgetItem* at = itemAt(e->pos());
    if (!at) return;
    setCurrentItem(at);
    std::unique_ptr<QMenu> menu(buildContextMenu(row(at)));
    if (menu) menu->exec(e->globalPos());
}

void AttachmentList::keyPressEvent(QKeyEvent* e) {
    if (e->matches(QKeySequence::Save) && currentRow() >= 0) {
        saveAttachmentAs(currentRow());
        return;
    }
    QListWidget::keyPressEvent(e);
}

}  // namespace brevik::views
