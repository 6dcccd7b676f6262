#include "views/right_pane.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QBuffer>
#include <QDialog>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "gui_support.h"
#include "message/records.h"
#include "support/corpus.h"
#include "support/damaged_items.h"
#include "views/item_list_pane.h"
#include "views/message_window.h"
#include "views/preview_pane.h"
#include "views/safe_browser.h"
#include "views_fixtures.h"
#include "writers/pst/store_writer.h"

namespace brevik::views {
namespace {

namespace fs = std::filesystem;
using test::RecoveredState;

struct Pane {
    RecoveredState s;
    RightPane pane{*s.state};

    explicit Pane(std::string file = {}) : s(std::move(file)) {
        pane.resize(900, 640);
        pane.show();
    }
    void show(const std::string& folder) {
        s.select(s.folder(folder));
        pane.showSelectionPage();
    }
    ItemListPane& list() { return *pane.itemList(); }
    PreviewPane& preview() { return *pane.preview(); }
    // Makes the first listed row that `want` accepts current; false when there is none.
    template <typename F>
    bool preview(F want) {
        ItemListModel& m = list().model();
        for (int r = 0; r < m.rowCount(); ++r)
            if (want(s.b().itemSummaries[m.itemAt(r)])) {
                list().view()->setCurrentIndex(m.index(r, 0));
                return s.state->viewOf(s.b()).currentItem == m.itemAt(r);
            }
        return false;
    }
    int previewFiles() const {
        int n = 0;
        for (const auto& e : fs::directory_iterator(s.state->tempFolder))
            n += e.path().filename().string().rfind("~temporary_", 0) == 0;
        return n;
    }
};

TEST(RightPane, PagesFollowTheSelection) {
    Pane p;
    auto page = [&] { return p.pane.pageViewer()->pageName().toStdString(); };
    p.s.state->selectedBase = app::kRootValue;
    p.pane.showSelectionPage();
    EXPECT_EQ(p.pane.mode(), RightPaneMode::FullPage);
    EXPECT_EQ(page(), "START_PAGE");
    EXPECT_TRUE(p.pane.pageViewer()->toPlainText().contains("never changes"));
    p.s.state->selectedBase = app::kDirectoryValue;
    p.pane.showSelectionPage();
    EXPECT_EQ(page(), "NO_VIEW_FOR_FOLDERS");
    p.s.state->selectedBase = 0;
    p.s.b().openMode = 0;
    p.pane.showSelectionPage();
    EXPECT_EQ(page(), "NO_VIEW_FOR_FILES");
    p.s.b().openMode = 1;

    std::uint32_t empty = 0;
    while (empty < p.s.b().folderCount && p.s.b().folderEntries[empty].itemCount != 0)
        ++empty;
    ASSERT_LT(empty, p.s.b().folderCount);
    p.s.select(empty);
    p.pane.showSelectionPage();
    EXPECT_EQ(p.pane.mode(), RightPaneMode::PageAndPreview);
    EXPECT_EQ(page(), "NO_VIEW_FOR_ITEMS_TO_UP_HTML");
    EXPECT_EQ(p.preview().browser()->pageName(), "NO_VIEW_FOR_ITEMS_TO_DOWN_HTML");
    EXPECT_TRUE(p.pane.pageViewer()->toPlainText().contains("No items are found in this view."));
}

TEST(RightPane, PreviewsMailNotesAndContactsLeavingOnePreviewFile) {
    Pane p;
    p.show("Inbox");
    EXPECT_EQ(p.pane.mode(), RightPaneMode::ListAndHeader);
    EXPECT_EQ(p.s.state->viewOf(p.s.b()).currentItem, p.list().model().itemAt(0));

    ASSERT_TRUE(p.preview([](const ItemSummary& s) { return s.bodyFormat == 1; }));
    ASSERT_TRUE(
        p.preview([](const ItemSummary& s) { return s.bodyFormat == 1 && s.attachmentCount > 0; }));
    const ItemSummary& html = p.s.b().itemSummaries[p.s.state->viewOf(p.s.b()).currentItem];
    EXPECT_FALSE(p.preview().bodyFieldShown());
    EXPECT_TRUE(p.preview().headerShown());
    EXPECT_EQ(p.preview().from().toStdString(), html.fromText);
    EXPECT_EQ(p.preview().subject().toStdString(), html.subjectText);
    EXPECT_TRUE(
        p.preview().browser()->toPlainText().contains(QString::fromStdString(html.subjectText)));
    EXPECT_EQ(p.preview().attachmentNames().size(), html.attachmentCount);
    EXPECT_EQ(p.previewFiles(), 1);

    // Copy recipients show; a body the row holds no copy of is read again from the file.
    ASSERT_TRUE(p.preview([](const ItemSummary& s) { return s.bodyFormat == 3; }));
    ItemSummary& plain = p.s.b().itemSummaries[p.s.state->viewOf(p.s.b()).currentItem];
    const std::string body = plain.bodyText;
    plain.bodyText.clear();
    ASSERT_TRUE(p.preview([](const ItemSummary& s) { return s.bodyFormat == 1; }));
    ASSERT_TRUE(p.preview([&](const ItemSummary& s) { return &s == &plain; }));
    EXPECT_TRUE(p.preview().bodyFieldShown());
    EXPECT_EQ(p.preview().bodyField()->toPlainText().simplified(),
              QString::fromStdString(body).simplified());
    bool anyCc = false;
    for (int r = 0; r < p.list().model().rowCount() && !anyCc; ++r) {
        p.list().view()->setCurrentIndex(p.list().model().index(r, 0));
        anyCc = p.preview().ccShown();
    }
    EXPECT_TRUE(anyCc);
    EXPECT_EQ(p.previewFiles(), 1);

    p.show("Notes");
    EXPECT_EQ(p.pane.mode(), RightPaneMode::ListAndHeader);
    EXPECT_FALSE(p.preview().headerShown());
    EXPECT_TRUE(p.preview().bodyFieldShown());
    EXPECT_FALSE(p.preview().bodyField()->toPlainText().isEmpty());

    p.show("Contacts");
    EXPECT_EQ(p.pane.mode(), RightPaneMode::ListAndPreview);
    const ItemSummary& contact = p.s.b().itemSummaries[p.s.state->viewOf(p.s.b()).currentItem];
    EXPECT_TRUE(p.preview().browser()->showsFile());
    EXPECT_TRUE(
        p.preview().browser()->toPlainText().contains(QString::fromStdString(contact.subjectText)));
    EXPECT_EQ(p.previewFiles(), 1);
}

// A damaged item is kept with what was read: its row carries a mark that names the parts lost,
// and its preview says so above the body; a whole item shows neither.
TEST(RightPane, DamagedItemsAreMarkedInTheListAndThePreview) {
    test::TempDir dir;
    const std::string path = (dir.path() / "parts.pst").string();
    test::writeDamagedItemsFile(path);
    Pane p(path);
    p.show("Inbox");
    ItemListModel& m = p.list().model();
    ASSERT_EQ(m.rowCount(), 4);
    const int subject = m.columns().at(LogicalColumn::Subject);
    for (int r = 0; r < m.rowCount(); ++r) {
        const std::string name = p.s.b().itemSummaries[m.itemAt(r)].subjectText;
        const QString tip = m.data(m.index(r, subject), Qt::ToolTipRole).toString();
        const bool marked = !m.data(m.index(r, subject), Qt::DecorationRole).isNull();
        EXPECT_EQ(marked, name != "whole") << name;
        if (name == "attachments") {
            EXPECT_TRUE(tip.contains("attachment 2 (invoice.pdf)")) << name;
        }
        p.list().view()->setCurrentIndex(m.index(r, 0));
        const QString notice = p.preview().damageNotice();
        EXPECT_EQ(notice.isEmpty(), name == "whole") << name;
        if (name == "long body") {
            EXPECT_TRUE(notice.contains("body")) << notice.toStdString();
            EXPECT_TRUE(p.preview().bodyField()->toPlainText().endsWith("end"));
            test::screenshot(&p.pane, "damaged_item_preview");
        }
    }
}

// Calendar folders list their items, and appointments, lists and contacts preview with their
// own fields.
TEST(RightPane, PreviewsAppointmentsListsAndContactsWithTheirFields) {
    BREVIK_REQUIRE_CORPUS();
    Pane p(test::corpusPath("pst/dist-list.pst"));
    p.show("Calendar");
    EXPECT_EQ(p.pane.mode(), RightPaneMode::ListAndPreview);
    ASSERT_GT(p.list().model().rowCount(), 0);
    const QString meeting = p.preview().browser()->toPlainText();
    EXPECT_TRUE(meeting.contains("Every Tuesday from 8:00 to 8:30, from 2 August 2016"))
        << meeting.toStdString();
    test::screenshot(&p.pane, QStringLiteral("views-appointment-preview"));
    p.show("Contacts");
    ASSERT_TRUE(p.preview([](const ItemSummary& s) { return s.type == ItemType::DistList; }));
    EXPECT_TRUE(p.preview().browser()->toPlainText().contains("dist2@rjohnson.id.au"));
    test::screenshot(&p.pane, QStringLiteral("views-list-preview"));
    ASSERT_TRUE(p.preview([](const ItemSummary& s) { return s.type == ItemType::Contact; }));
    EXPECT_TRUE(p.preview().browser()->toPlainText().contains("contact1@rjohnson.id.au"));
    test::screenshot(&p.pane, QStringLiteral("views-contact-preview"));
}

// A local port that records whether anything connected to it.
struct Listener {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    int port = 0;
    Listener() {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), len);
        ::listen(fd, 4);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
        ::fcntl(fd, F_SETFL, O_NONBLOCK);
    }
    ~Listener() { ::close(fd); }
    bool contacted() const {
        const int c = ::accept(fd, nullptr, nullptr);
        if (c >= 0) ::close(c);
        return c >= 0;
    }
};

Bytes pngBytes(QColor colour) {
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return Bytes(data.begin(), data.end());
}

TEST(RightPane, HtmlBodiesShowOnlyTheirOwnInlinePicturesAndAttachmentsOpenAndSave) {
    test::TempDir dir;
    Listener net;
    const std::string local = (dir.path() / "local.png").string();
    const Bytes localPng = pngBytes(Qt::red);
    std::ofstream(local, std::ios::binary)
        .write(reinterpret_cast<const char*>(localPng.data()),
               static_cast<std::streamsize>(localPng.size()));
    const std::string remote = "http://127.0.0.1:" + std::to_string(net.port);
    const std::string html = "<html><head><link rel=\"stylesheet\" type=\"text/css\" href=\"" +
                             remote + "/s.css\"></head><body><p>Hello</p><img src=\"" + remote +
                             "/remote.png\"><script>document.write('SCRIPTED')</script>"
                             "<img src=\"file://" +
                             local +
                             "\"><img src=\"cid:logo@brevik\">"
                             "</body></html>";
    pst::Item item;
    item.properties = {pst::unicodeProperty(0x001A, "IPM.Note"),
                       pst::unicodeProperty(0x0037, "Inline pictures"),
                       pst::unicodeProperty(0x0042, "Ann Sender"),
                       pst::unicodeProperty(0x0E04, "Bob"),
                       pst::unicodeProperty(0x0E03, "Carol; Dave"),
                       pst::binaryProperty(0x1013, Bytes(html.begin(), html.end())),
                       pst::int32Property(0x3FDE, 65001),
                       pst::timeProperty(0x0039, 133000000000000000ull),
                       pst::timeProperty(0x0E06, 133000000600000000ull)};
    auto attach = [&](const std::string& name, Bytes data, const std::string& cid = {}) {
        pst::Attachment a;
        a.properties = {pst::unicodeProperty(0x3707, name), pst::int32Property(0x3705, 1)};
        if (!cid.empty()) a.properties.push_back(pst::unicodeProperty(0x3712, cid));
        a.data = std::move(data);
        item.attachments.push_back(std::move(a));
    };
    attach("logo.png", pngBytes(Qt::blue), "logo@brevik");
    attach("a.txt", Bytes(5, 'a'));
    attach("b.doc", Bytes(5, 'b'));
    attach("readme", Bytes(5, 'r'));
    attach("../../evil.txt", Bytes(3, 'e'));
    auto forwarded = std::make_shared<pst::Item>();
    forwarded->properties = {pst::unicodeProperty(0x001A, "IPM.Note"),
                             pst::unicodeProperty(0x0037, "Zürich report"),
                             pst::unicodeProperty(0x1000, "Inner body")};
    pst::Attachment inner;
    inner.properties = {pst::unicodeProperty(0x3707, "inner.txt"), pst::int32Property(0x3705, 1)};
    inner.data = Bytes(4, 'i');
    forwarded->attachments.push_back(inner);
    pst::Attachment message;
    message.properties = {pst::unicodeProperty(0x3001, "Forwarded"), pst::int32Property(0x3705, 5)};
    message.embedded = forwarded;
    item.attachments.push_back(std::move(message));
    const std::string file = (dir.path() / "inline.pst").string();
    pst::WriteStatus status;
    auto writer = pst::PstWriter::create(file, {}, status);
    ASSERT_TRUE(writer) << status.message;
    const auto inbox = writer->addFolder(pst::kTopOfPersonalFolders, {"Inbox", "IPF.Note", {}, {}});
    ASSERT_TRUE(inbox && writer->addItem(*inbox, item) && writer->finish());

    Pane p(file);
    p.show("Inbox");
    ASSERT_EQ(p.pane.mode(), RightPaneMode::ListAndHeader);
    SafeBrowser& browser = *p.preview().browser();
    QTest::qWait(50);
    EXPECT_TRUE(browser.toPlainText().contains("Hello"));
    EXPECT_FALSE(browser.toPlainText().contains("SCRIPTED"));
    const QVariant inline_ =
        browser.document()->resource(QTextDocument::ImageResource, QUrl("cid:logo@brevik"));
    EXPECT_EQ(inline_.value<QImage>().pixelColor(1, 1), QColor(Qt::blue));
    const QString refused = browser.refused().join(' ');
    EXPECT_TRUE(refused.contains("/remote.png")) << refused.toStdString();
    EXPECT_TRUE(refused.contains("/s.css")) << refused.toStdString();
    EXPECT_TRUE(refused.contains("local.png")) << refused.toStdString();
    const QVariant read = browser.document()->resource(
        QTextDocument::ImageResource, QUrl::fromLocalFile(QString::fromStdString(local)));
    EXPECT_TRUE(read.value<QImage>().isNull() && QImage::fromData(read.toByteArray()).isNull());
    EXPECT_FALSE(refused.contains("cid:"));
    EXPECT_FALSE(net.contacted());

    EXPECT_TRUE(p.preview().remoteNoticeShown());
    test::screenshot(&p.pane, QStringLiteral("views-remote-pictures-and-attachments"));
    EXPECT_EQ(p.preview().cc(), "Carol; Dave");
    EXPECT_TRUE(p.preview().sent().contains("2022")) << p.preview().sent().toStdString();
    EXPECT_FALSE(p.preview().received().isEmpty());
    // The picture the body shows is not listed again.
    EXPECT_EQ(p.preview().attachmentsText(), "a.txt; b.doc; readme; ../../evil.txt; Forwarded.msg");
    const QStringList icons = p.preview().attachmentIconNames();
    ASSERT_EQ(icons.size(), 5);
    EXPECT_NE(icons[0], icons[2]);  // text, then any file
    EXPECT_NE(icons[1], icons[2]);

    // Saved twice into one folder: the bytes, inside the folder, nothing replaced.
    AttachmentList& list = *p.preview().attachmentList();
    const fs::path out = dir.path() / "saved";
    ASSERT_EQ(list.saveAllInto(QString::fromStdString(out.string())).size(), 5);
    ASSERT_EQ(list.saveAllInto(QString::fromStdString(out.string())).size(), 5);
    EXPECT_EQ(test::readWholeFile((out / "a.txt").string()), Bytes(5, 'a'));
    EXPECT_EQ(test::readWholeFile((out / "a (2).txt").string()), Bytes(5, 'a'));
    EXPECT_EQ(test::readWholeFile((out / "evil (2).txt").string()), Bytes(3, 'e'));
    EXPECT_FALSE(fs::exists(dir.path() / "evil.txt"));
    EXPECT_GT(fs::file_size(out / "Forwarded.msg"), 512u);
    list.pickSavePath = [&](QWidget*, const QString& proposed) {
        EXPECT_TRUE(proposed.endsWith("/b.doc")) << proposed.toStdString();
        return QString::fromStdString((out / "chosen.doc").string());
    };
    EXPECT_TRUE(list.saveAttachmentAs(1).endsWith("chosen.doc"));
    EXPECT_EQ(test::readWholeFile((out / "chosen.doc").string()), Bytes(5, 'b'));

    // Opening hands a private copy to the desktop; an attached message opens in a viewer.
    QUrl opened;
    list.opener = [&](const QUrl& url) {
        opened = url;
        return true;
    };
    const QString copy = list.openAttachment(2);
    EXPECT_EQ(opened.toLocalFile(), copy);
    EXPECT_TRUE(copy.startsWith(p.pane.openFolder()));
    MessageWindow* viewer = nullptr;
    QObject::connect(&p.pane, &RightPane::messageWindowOpened,
                     [&](MessageWindow* w) { viewer = w; });
    list.openAttachment(4);
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(viewer->preview()->subject(), "Zürich report");
    EXPECT_EQ(viewer->preview()->bodyField()->toPlainText(), "Inner body");
    EXPECT_EQ(viewer->preview()->attachmentsText(), "inner.txt");
    test::screenshot(viewer, QStringLiteral("views-attached-message"));
    viewer->close();
}

TEST(ItemListPane, FilterBoxContextMenuOpenAndSource) {
    Pane p;
    p.show("Inbox");
    ItemListModel& m = p.list().model();
    const int all = m.rowCount();
    const QString needle =
        QString::fromStdString(p.s.b().itemSummaries[m.itemAt(all - 1)].fromText).left(4).toLower();
    QTest::keyClicks(p.list().filterBox(), needle);
    EXPECT_LT(m.rowCount(), all);
    EXPECT_EQ(m.filterText(), needle);
    // The current item is one of the rows left, and its preview is shown.
    ASSERT_GE(m.rowOf(p.s.state->viewOf(p.s.b()).currentItem), 0);
    EXPECT_EQ(p.preview().subject().toStdString(),
              p.s.b().itemSummaries[p.s.state->viewOf(p.s.b()).currentItem].subjectText);

    auto enabled = [&](const QString& text) {
        std::unique_ptr<QMenu> menu(p.list().buildContextMenu());
        for (QAction* a : menu->actions())
            if (a->text() == text) return a->isEnabled();
        return false;
    };
    EXPECT_TRUE(enabled("View Source"));
    EXPECT_TRUE(enabled("Open in Outlook"));
    p.list().view()->selectAll();
    EXPECT_FALSE(enabled("View Source"));
    EXPECT_EQ(p.pane.selectedItems().size(), static_cast<std::size_t>(m.rowCount()));
    p.s.state->busy = 1;
    EXPECT_FALSE(enabled("Open in Outlook Express"));
    p.s.state->busy = 0;

    QUrl opened;
    p.list().setUrlOpener([&](const QUrl& url) {
        opened = url;
        return true;
    });
    const QString eml = p.list().openSelectedItem();
    ASSERT_FALSE(eml.isEmpty());
    EXPECT_EQ(opened.toLocalFile(), eml);
    QFile f(eml);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    const ItemSummary& s = p.s.b().itemSummaries[p.s.state->viewOf(p.s.b()).currentItem];
    EXPECT_TRUE(text.contains(QByteArray::fromStdString("Subject: " + s.subjectText + "\r\n")));
    EXPECT_TRUE(text.contains("MIME-Version: 1.0\r\n"));

    // Another folder is listed unfiltered; an opened contact carries its fields.
    p.show("Contacts");
    EXPECT_TRUE(p.list().filterBox()->text().isEmpty());
    const QString path = p.list().openSelectedItem();
    QFile contact(path);
    ASSERT_TRUE(contact.open(QIODevice::ReadOnly));
    const QByteArray raw = contact.readAll();
    const QByteArray body = raw.mid(raw.indexOf("\r\n\r\n") + 4);
    const QByteArray card =
        raw.contains("Content-Transfer-Encoding: base64") ? QByteArray::fromBase64(body) : body;
    EXPECT_TRUE(card.contains("Company: Example Trading AB")) << card.toStdString();
    EXPECT_TRUE(card.contains("@example.com")) << card.toStdString();

    std::unique_ptr<QDialog> source(p.list().viewSource());
    ASSERT_TRUE(source);
    EXPECT_TRUE(source->findChild<QPlainTextEdit*>()->toPlainText().contains("From: "));
}

}  // namespace
}  // namespace brevik::views
