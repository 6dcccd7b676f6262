// The Add dialog: search a list of places (preset with the local disks and the home folder),
// search one folder picked with a folder picker, or pick data files directly.
#pragma once

#include <QDialog>
#include <QStringList>
#include <functional>
#include <vector>

class QLineEdit;

namespace brevik::views {

// One mounted file system, as the root list sees it.
struct MountInfo {
    QString root;    // mount point
    QString device;  // e.g. /dev/sda1
    QString type;    // file-system type, e.g. ext4
};

// The preset list: the mount point of every local disk, then the home folder, each followed by
// ";" ("/;/data;/home/ann;"). Pseudo, network and removable-image file systems are left out.
QString searchRootList(const std::vector<MountInfo>& mounts, const QString& home);
// The mounted file systems of this machine.
std::vector<MountInfo> mountedFileSystems();

class AddBasesDialog final : public QDialog {
    Q_OBJECT
  public:
    enum class Choice { Cancel, SearchPaths, SearchFolder, AddFiles };

    explicit AddBasesDialog(const QString& pathList, QWidget* parent = nullptr);

    Choice choice() const { return choice_; }
    // The edited path list (SearchPaths) or the picked folder (SearchFolder).
    QString paths() const { return paths_; }
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
    QLineEdit* edit_ = nullptr;
    Choice choice_ = Choice::Cancel;
    QString paths_;
    QStringList files_;
};

}  // namespace brevik::views
