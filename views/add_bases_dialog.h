// The Add dialog: search the places ticked in a list (the home folder and the default Outlook
// folder ticked, the local disks listed but not), search one folder picked with a folder
// picker, or pick data files directly.
#pragma once

#include <QDialog>
#include <QStringList>
#include <functional>
#include <vector>

class QLineEdit;
class QListWidget;

namespace brevik::views {

// One mounted file system, as the root list sees it.
struct MountInfo {
    QString root;    // mount point
    QString device;  // e.g. /dev/sda1
    QString type;    // file-system type, e.g. ext4
};

// A place the dialog offers to search.
struct SearchPlace {
    QString path;
    QString label;
    bool checked = false;
};

// The places offered: the home folder and the default Outlook folder (when given), ticked, then
// the mount point of every local disk, not ticked; each path once. Pseudo, network and
// removable-image file systems are left out.
std::vector<SearchPlace> searchPlaces(const std::vector<MountInfo>& mounts, const QString& home,
                                      const QString& outlookFolder);
// The mounted file systems of this machine.
std::vector<MountInfo> mountedFileSystems();

class AddBasesDialog final : public QDialog {
    Q_OBJECT
  public:
    enum class Choice { Cancel, SearchPaths, SearchFolder, AddFiles };

    explicit AddBasesDialog(const std::vector<SearchPlace>& places, QWidget* parent = nullptr);

    Choice choice() const { return choice_; }
    // The ticked places and those typed, each followed by ";" (SearchPaths), or the picked
    // folder (SearchFolder).
    QString paths() const { return paths_; }
    QListWidget* placeList() const { return places_; }
    // The picked data files (AddFiles).
    const QStringList& files() const { return files_; }
    QLineEdit* pathEdit() const { return edit_; }

    // The pickers, replaceable by tests; an empty answer counts as cancelled.
    std::function<QString(QWidget*)> pickFolder;
    std::function<QStringList(QWidget*)> pickFiles;

    void searchNow();
    void browse();
    void addFiles();

  private:
    QListWidget* places_ = nullptr;
    QLineEdit* edit_ = nullptr;
    Choice choice_ = Choice::Cancel;
    QString paths_;
    QStringList files_;
};

}  // namespace brevik::views
