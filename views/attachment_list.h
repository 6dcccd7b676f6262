// The attachments of the previewed item as items that open and save: a double click or Enter
// opens one (an attached message in a viewer of its own, anything else through the desktop),
// and the context menu saves one or all of them into a folder, under safe names, never over an
// existing file.
#pragma once

#include <QIcon>
#include <QListWidget>
#include <QUrl>
#include <functional>

class QMenu;

namespace brevik::views {

// The kind of file a name suggests, by its extension alone (the disk is never touched).
enum class FileFamily {
    Generic,
    Text,
    Image,
    Pdf,
    Document,
    Spreadsheet,
    Presentation,
    Archive,
    Audio,
    Video,
    Message,
    Program
};
FileFamily fileFamily(const QString& fileName);
// The icon of a file family; `iconName` receives its name.
QIcon attachmentIcon(const QString& fileName, QString* iconName = nullptr);

struct AttachmentEntry {
    QString name;
    bool message = false;  // an attached message, opened in a viewer
};

class AttachmentList final : public QListWidget {
    Q_OBJECT
  public:
    // The bytes of entry k, read when a command needs them; empty when unreadable.
    using DataSource = std::function<QByteArray(int)>;

    explicit AttachmentList(QWidget* parent = nullptr);

    void setAttachments(const QList<AttachmentEntry>& entries, DataSource data,
                        std::function<void(int)> openMessage);
    const QList<AttachmentEntry>& entries() const { return entries_; }
    const QStringList& iconNames() const { return iconNames_; }

    // Where opened attachments are written (the private temporary folder) and where saves
    // start.
    void setFolders(const QString& openFolder, const QString& saveFolder);

    // The commands. Each returns the paths written (empty when nothing was).
    QString openAttachment(int k);
    QString saveAttachmentAs(int k);
    QStringList saveAllAttachments();
    QStringList saveAllInto(const QString& folder);
    // The context menu for entry k; null when there is none.
    QMenu* buildContextMenu(int k);

    // Pickers and the desktop hand-over, replaceable by tests; an empty answer cancels.
    std::function<QString(QWidget*, const QString& proposedPath)> pickSavePath;
    std::function<QString(QWidget*, const QString& startFolder)> pickFolder;
    std::function<bool(const QUrl&)> opener;

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void tellStatus(const QString& text);
    void fitHeight();

    QList<AttachmentEntry> entries_;
    QStringList iconNames_;
    DataSource data_;
    std::function<void(int)> openMessage_;
    QString openFolder_;
    QString saveFolder_;
};

}  // namespace brevik::views
