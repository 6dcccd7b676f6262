#include "views/add_bases_dialog.h"

#include <gtest/gtest.h>

#include <QLineEdit>

namespace brevik::views {
namespace {

TEST(AddBasesDialog, PresetsLocalDisksAndHome) {
    const std::vector<MountInfo> mounts = {{"/", "/dev/sda2", "ext4"},
                                           {"/proc", "proc", "proc"},
                                           {"/data/", "/dev/sdb1", "xfs"},
                                           {"/mnt/share", "//server/share", "cifs"},
                                           {"/snap/core/1", "/dev/loop3", "squashfs"},
                                           {"/run", "tmpfs", "tmpfs"},
                                           {"/media/usb", "/dev/sdc1", "vfat"},
                                           {"/", "/dev/sda2", "ext4"}};
    const auto places =
        searchPlaces(mounts, "/home/ann/", "/home/ann/.local/share/Microsoft/Outlook");
    std::vector<std::pair<std::string, bool>> got;
    for (const SearchPlace& p : places)
        got.emplace_back(p.path.toStdString(), p.checked);
    const std::vector<std::pair<std::string, bool>> want = {
        {"/home/ann", true},
        {"/home/ann/.local/share/Microsoft/Outlook", true},
        {"/", false},
        {"/data", false},
        {"/media/usb", false}};
    EXPECT_EQ(got, want);
}

TEST(AddBasesDialog, ChoicesAndCancelledPickers) {
    AddBasesDialog search({{"/home/ann", "Home", true}, {"/", "Disk", false}});
    search.pathEdit()->setText("/srv/mail; ");
    search.searchNow();
    EXPECT_EQ(search.result(), QDialog::Accepted);
    EXPECT_EQ(search.choice(), AddBasesDialog::Choice::SearchPaths);
    EXPECT_EQ(search.paths(), "/home/ann;/srv/mail;");

    const std::vector<SearchPlace> root = {{"/", "Disk", true}};
    AddBasesDialog cancelled(root);
    cancelled.pickFolder = [](QWidget*) { return QString(); };
    cancelled.browse();
    EXPECT_EQ(cancelled.result(), QDialog::Rejected);
    EXPECT_EQ(cancelled.choice(), AddBasesDialog::Choice::Cancel);

    AddBasesDialog browse(root);
    browse.pickFolder = [](QWidget*) { return QStringLiteral("/home/ann/Mail"); };
    browse.browse();
    EXPECT_EQ(browse.choice(), AddBasesDialog::Choice::SearchFolder);
    EXPECT_EQ(browse.paths(), "/home/ann/Mail");

    AddBasesDialog files(root);
    files.pickFiles = [](QWidget*) { return QStringList{"/tmp/a.pst", "/tmp/b.ost"}; };
    files.addFiles();
    EXPECT_EQ(files.choice(), AddBasesDialog::Choice::AddFiles);
    EXPECT_EQ(files.files().size(), 2);
}

}  // namespace
}  // namespace brevik::views
