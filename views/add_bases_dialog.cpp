#include "views/add_bases_dialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStorageInfo>
#include <QVBoxLayout>

namespace brevik::views {

namespace {

// File systems that live on a local disk; everything else (proc, tmpfs, overlay, network
// shares, snap images) is not where a user keeps mail files.
bool localDiskType(const QString& type) {
    static const QStringList kTypes = {
        QStringLiteral("ext2"),    QStringLiteral("ext3"),    QStringLiteral("ext4"),
        QStringLiteral("xfs"),     QStringLiteral("btrfs"),   QStringLiteral("vfat"),
        QStringLiteral("exfat"),   QStringLiteral("ntfs"),    QStringLiteral("ntfs3"),
        QStringLiteral("fuseblk"), QStringLiteral("f2fs"),    QStringLiteral("zfs"),
        QStringLiteral("jfs"),     QStringLiteral("hfsplus"), QStringLiteral("apfs")};
    return kTypes.contains(type.toLower());
}

QString withoutTrailingSlash(QString path) {
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

}  // namespace

std::vector<SearchPlace> searchPlaces(const std::vector<MountInfo>& mounts, const QString& home,
                                      const QString& outlookFolder) {
    std::vector<SearchPlace> places;
    auto add = [&](const QString& path, const QString& label, bool checked) {
        const QString p = withoutTrailingSlash(path);
        if (p.isEmpty()) return;
        for (const SearchPlace& known : places)
            if (known.path == p) return;
        places.push_back(
            {p, label.isEmpty() ? p : label + QStringLiteral(" (") + p + ")", checked});
    };
    add(home, QObject::tr("Home folder"), true);
    add(outlookFolder, QObject::tr("Default Outlook folder"), true);
    for (const MountInfo& m : mounts) {
        // ZFS datasets name their pool, not a device file.
        const bool disk = m.device.startsWith(QLatin1String("/dev/")) ||
                          m.type.compare(QLatin1String("zfs"), Qt::CaseInsensitive) == 0;
        // A whole disk takes long to search: offered, not ticked.
        if (disk && localDiskType(m.type))
            add(m.root, QObject::tr("Disk %1").arg(QString::fromUtf8(m.device.toUtf8())), false);
    }
    return places;
}

std::vector<MountInfo> mountedFileSystems() {
    std::vector<MountInfo> out;
    for (const QStorageInfo& s : QStorageInfo::mountedVolumes())
        if (s.isValid() && s.isReady())
            out.push_back({s.rootPath(), QString::fromUtf8(s.device()),
                           QString::fromUtf8(s.fileSystemType())});
    return out;
}

AddBasesDialog::AddBasesDialog(const std::vector<SearchPlace>& places, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(tr("Add Outlook data files (*.pst) to Tree View."));
    pickFolder = [](QWidget* owner) {
        // Hidden folders are shown: mail programs keep their data files in them.
        QFileDialog picker(owner, tr("Select folder"), QDir::homePath());
        picker.setFileMode(QFileDialog::Directory);
        picker.setOption(QFileDialog::ShowDirsOnly);
        picker.setFilter(QDir::AllDirs | QDir::Hidden | QDir::NoDotAndDotDot);
        return picker.exec() == QDialog::Accepted && !picker.selectedFiles().isEmpty()
                   ? picker.selectedFiles().front()
                   : QString();
    };
    pickFiles = [](QWidget* owner) {
        return QFileDialog::getOpenFileNames(
            owner, tr("Add Outlook data files"), QDir::homePath(),
            tr("Outlook data files (*.pst *.ost *.PST *.OST);;All files (*)"));
    };

    auto* group = new QGroupBox(tr("Look up on disks/folders:"), this);
    places_ = new QListWidget(group);
    for (const SearchPlace& p : places) {
        auto* item = new QListWidgetItem(p.label, places_);
        item->setData(Qt::UserRole, p.path);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(p.checked ? Qt::Checked : Qt::Unchecked);
    }
    places_->setMinimumWidth(440);
    edit_ = new QLineEdit(group);
    edit_->setPlaceholderText(tr("More places to search, separated by \";\""));
    auto* search = new QPushButton(tr("Search Now"), group);
    auto* browse = new QPushButton(tr("Browse..."), group);
    search->setDefault(true);
    auto* row = new QHBoxLayout;
    row->addWidget(search);
    row->addWidget(browse);
    row->addStretch(1);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(places_);
    groupLayout->addWidget(edit_);
    auto* hint = new QLabel(tr("Finds Outlook data files of both kinds, .pst and .ost, in the "
                               "ticked places and every folder below them."),
                            group);
    hint->setWordWrap(true);
    hint->setEnabled(false);
    groupLayout->addWidget(hint);
    groupLayout->addLayout(row);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* files = buttons->addButton(tr("Add files..."), QDialogButtonBox::ActionRole);
    files->setToolTip(tr("Pick .pst or .ost files directly"));
    buttons->addButton(QDialogButtonBox::Cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(buttons);
    connect(search, &QPushButton::clicked, this, &AddBasesDialog::searchNow);
    connect(browse, &QPushButton::clicked, this, &AddBasesDialog::browse);
    connect(files, &QPushButton::clicked, this, &AddBasesDialog::addFiles);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void AddBasesDialog::searchNow() {
    paths_.clear();
    for (int r = 0; r < places_->count(); ++r)
        if (places_->item(r)->checkState() == Qt::Checked)
            paths_ += places_->item(r)->data(Qt::UserRole).toString() + QLatin1Char(';');
    for (const QString& typed : edit_->text().split(QLatin1Char(';'), Qt::SkipEmptyParts))
        if (!typed.trimmed().isEmpty()) paths_ += typed.trimmed() + QLatin1Char(';');
    if (paths_.isEmpty()) return;
    choice_ = Choice::SearchPaths;
    accept();
}

void AddBasesDialog::browse() {
    hide();
    const QString folder = pickFolder(parentWidget());
    if (folder.isEmpty()) {
        reject();
        return;
    }
    paths_ = folder;
    choice_ = Choice::SearchFolder;
    accept();
}

void AddBasesDialog::addFiles() {
    hide();
    files_ = pickFiles(parentWidget());
    if (files_.isEmpty()) {
        reject();
        return;
    }
    choice_ = Choice::AddFiles;
    accept();
}

}  // namespace brevik::views
