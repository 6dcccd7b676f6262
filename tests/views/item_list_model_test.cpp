#include "views/item_list_model.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QLocale>
#include <QRegularExpression>

#include "message/records.h"
#include "views_fixtures.h"

namespace brevik::views {
namespace {

using test::RecoveredState;

struct Listed {
    RecoveredState s;
    ItemListModel model;
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::Fatal};

    void fill(const std::string& folder) { model.fill(&s.b(), s.folder(folder)); }
    const ItemSummary& row(int r) const { return s.b().itemSummaries[model.itemAt(r)]; }
    QString header(int c) const { return model.headerData(c, Qt::Horizontal).toString(); }
};

// Every neighbouring pair is in list order, equal rows in index order.
void expectSorted(const Listed& l, LogicalColumn column, bool ascending) {
    for (int r = 1; r < l.model.rowCount(); ++r) {
        int c = compareRows(l.row(r - 1), l.row(r), column);
        if (!ascending) c = -c;
        ASSERT_LE(c, 0) << "row " << r;
        if (c == 0) {
            ASSERT_LT(l.model.itemAt(r - 1), l.model.itemAt(r)) << "row " << r;
        }
    }
}

TEST(ItemListModel, LayoutFollowsTheFolderKind) {
    Listed l;
    l.fill("Notes");
    EXPECT_EQ(l.model.layout(), ListLayout::Notes);
    ASSERT_EQ(l.model.columnCount(), 4);
    EXPECT_EQ(l.header(1), "Title");
    EXPECT_EQ(l.header(3), "Number");
    EXPECT_GT(l.model.rowCount(), 0);

    l.fill("Contacts");
    EXPECT_EQ(l.model.layout(), ListLayout::Contacts);
    ASSERT_EQ(l.model.columnCount(), 5);
    EXPECT_EQ(l.header(2), "Full Name");
    EXPECT_FALSE(l.model.headerData(1, Qt::Horizontal, Qt::DecorationRole).isNull());
    EXPECT_EQ(l.model.data(l.model.index(0, 2)).toString(),
              QString::fromStdString(l.row(0).subjectText));

    l.fill("Inbox");
    EXPECT_EQ(l.model.layout(), ListLayout::Mail);
    ASSERT_EQ(l.model.columnCount(), 7);
    EXPECT_EQ(l.header(2), "From");
    EXPECT_EQ(l.header(4), "Subject");
    EXPECT_TRUE(l.header(0).isEmpty());
    // Filled in index order, which is number order; the arrow stands on Number.
    expectSorted(l, LogicalColumn::Number, true);
    EXPECT_EQ(l.model.arrowColumn(), 6);
    EXPECT_EQ(l.model.data(l.model.index(0, 6)).toString(), QString::number(l.row(0).number));
    bool deletedShown = false;
    for (int r = 0; r < l.model.rowCount(); ++r)
        if (l.row(r).deletedMark)
            deletedShown = !l.model.data(l.model.index(r, 0), Qt::DecorationRole).isNull();
    EXPECT_TRUE(deletedShown);

    l.model.fill(nullptr, 0);
    EXPECT_EQ(l.model.rowCount(), 0);
}

TEST(ItemListModel, SortsEachColumnBothWaysWithTheArrowRules) {
    Listed l;
    l.fill("Inbox");
    ASSERT_GT(l.model.rowCount(), 5);
    // Number was sorted last by the fill: clicking it reverses.
    l.model.sortByColumn(6);
    EXPECT_FALSE(l.model.ascending());
    expectSorted(l, LogicalColumn::Number, false);
    // Another column keeps the direction and takes the arrow.
    l.model.sortByColumn(2);
    EXPECT_FALSE(l.model.ascending());
    EXPECT_EQ(l.model.arrowColumn(), 2);
    expectSorted(l, LogicalColumn::From, false);
    l.model.sortByColumn(2);
    expectSorted(l, LogicalColumn::From, true);
    // The mark columns sort without an arrow; marked rows first when ascending.
    l.model.sortByColumn(0);
    EXPECT_EQ(l.model.arrowColumn(), -1);
    expectSorted(l, LogicalColumn::Deleted, true);
    EXPECT_EQ(l.row(0).deletedMark, 1);
    for (auto [column, logical] : {std::pair{3, LogicalColumn::To},
                                   {4, LogicalColumn::Subject},
                                   {5, LogicalColumn::Date},
                                   {1, LogicalColumn::Attachment}}) {
        l.model.sortByColumn(column);
        expectSorted(l, logical, l.model.ascending());
        l.model.sortByColumn(column);
        expectSorted(l, logical, l.model.ascending());
    }

    ItemSummary a, b;
    a.subjectText = "apple";
    b.subjectText = "APPLE";
    EXPECT_EQ(compareRows(a, b, LogicalColumn::Subject), 0);
    b.subjectText = "\xC3\xA9";  // an accented letter sorts with its own letter
    EXPECT_EQ(compareRows(a, b, LogicalColumn::Subject), -1);
    b.sortTime = 1;  // an undated row sorts first
    EXPECT_EQ(compareRows(a, b, LogicalColumn::Date), -1);
}

TEST(ItemListModel, DatesAndTextOrderFollowTheLocale) {
    const QLocale before;
    Listed l;
    l.fill("Inbox");
    int dated = 0;
    while (dated < l.model.rowCount() && l.row(dated).utcTime == 0)
        ++dated;
    ASSERT_LT(dated, l.model.rowCount());
    const QModelIndex date = l.model.index(dated, l.model.columns().at(LogicalColumn::Date));
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_TRUE(QRegularExpression(R"(^\d{2}\.\d{2}\.\d{4} \d{2}:\d{2}$)")
                    .match(l.model.data(date).toString())
                    .hasMatch())
        << l.model.data(date).toString().toStdString();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_TRUE(QRegularExpression(R"(^\d{1,2}/\d{1,2}/\d{4} )")
                    .match(l.model.data(date).toString())
                    .hasMatch())
        << l.model.data(date).toString().toStdString();

    // Collation, not bytes; subjects without their reply and forward prefixes.
    ItemSummary lars, lukasz, soren;
    lars.fromText = "Lars";
    lukasz.fromText = "\xC5\x81ukasz";
    soren.fromText = "S\xC3\xB8ren";
    EXPECT_EQ(compareRows(lars, lukasz, LogicalColumn::From), -1);
    EXPECT_EQ(compareRows(lukasz, soren, LogicalColumn::From), -1);
    lars.subjectText = "RE: FW: Zebra";
    lukasz.subjectText = "Apples";
    soren.subjectText = "AW: apples";
    EXPECT_EQ(compareRows(lars, lukasz, LogicalColumn::Subject), 1);
    EXPECT_EQ(compareRows(lukasz, soren, LogicalColumn::Subject), 0);
    QLocale::setDefault(before);
}

TEST(ItemListModel, HiddenRowsAreNeverListed) {
    Listed l;
    const std::uint32_t inbox = l.s.folder("Inbox");
    const FolderEntry& f = l.s.b().folderEntries[inbox];
    l.s.b().messageEntries[f.firstItem].loadFailed = 1;
    l.s.b().itemSummaries[f.firstItem + 1].hiddenCode = 201;
    l.model.fill(&l.s.b(), inbox);
    for (std::uint32_t item : l.model.items())
        EXPECT_GT(item, f.firstItem + 1);
    EXPECT_EQ(l.model.rowCount(), static_cast<int>(f.endItem - f.firstItem - 2));

    const std::uint32_t notes = l.s.folder("Notes");
    const FolderEntry& n = l.s.b().folderEntries[notes];
    for (std::uint32_t r = n.firstItem; r < n.endItem; ++r)
        l.s.b().itemSummaries[r].hiddenCode = 201;
    l.model.fill(&l.s.b(), notes);
    EXPECT_EQ(l.model.rowCount(), 0);
    EXPECT_EQ(l.model.columnCount(), 4);
}

TEST(ItemListModel, FilterNarrowsByFromToOrSubject) {
    Listed l;
    l.fill("Inbox");
    const int all = l.model.rowCount();
    const QString from = QString::fromStdString(l.row(0).fromText);
    const QString needle = from.left(5).toUpper();
    l.model.setFilterText(needle);
    ASSERT_GT(l.model.rowCount(), 0);
    EXPECT_LT(l.model.rowCount(), all);
    for (int r = 0; r < l.model.rowCount(); ++r) {
        const ItemSummary& s = l.row(r);
        const QString text =
            QString::fromStdString(s.fromText + "\n" + s.toText + "\n" + s.subjectText);
        EXPECT_TRUE(text.contains(needle, Qt::CaseInsensitive)) << text.toStdString();
    }
    // Sorting keeps the filter.
    l.model.sortByColumn(4);
    EXPECT_TRUE(QString::fromStdString(l.row(0).fromText + l.row(0).toText + l.row(0).subjectText)
                    .contains(needle, Qt::CaseInsensitive));

    l.s.b().itemSummaries[l.model.items().back()].subjectText = "Grüße aus Malmö";
    l.model.setFilterText(QStringLiteral("MALMÖ"));
    EXPECT_EQ(l.model.rowCount(), 1);
    l.model.setFilterText(QStringLiteral("no such text anywhere"));
    EXPECT_EQ(l.model.rowCount(), 0);
    l.model.setFilterText({});
    EXPECT_EQ(l.model.rowCount(), all);
}

}  // namespace
}  // namespace brevik::views
