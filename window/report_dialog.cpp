#include "window/report_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLocale>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <array>
#include <unordered_set>

#include "engine/damage_log.h"
#include "recovery/folder_tree.h"
#include "recovery/recovered_base.h"

namespace brevik::app {

namespace {

constexpr int kMaxFolderDepth = 256;

QString esc(const std::string& s) {
    return QString::fromStdString(s).toHtmlEscaped();
}

// "1 item", "2 items": a count with the noun it counts.
QString counted(std::uint64_t n, const char* one, const char* many) {
    return n == 1 ? QObject::tr(one)
                  : QObject::tr(many).arg(QLocale().toString(static_cast<qulonglong>(n)));
}

// Items a user sees in a folder's list, as the tree counts them.
std::uint64_t listedItems(const RecoveredBase& b, const FolderEntry& f) {
    std::uint64_t n = 0;
    const std::size_t end =
        std::min<std::size_t>(f.endItem, std::min(b.itemSummaries.size(), b.messageEntries.size()));
    for (std::size_t i = f.firstItem; i < end; ++i)
        n += b.itemSummaries[i].hiddenCode == 0 && !b.messageEntries[i].loadFailed;
    return n;
}

// The folders the tree shows, in its order, with their depth below the top.
std::vector<std::pair<std::uint32_t, int>> treeFolders(const RecoveredBase& b) {
    std::vector<std::pair<std::uint32_t, int>> out;
    if (!b.topNode) return out;
    std::unordered_set<const FolderTreeNode*> seen{b.topNode};
    std::vector<std::pair<const FolderTreeNode*, int>> stack;
    auto push = [&](const FolderTreeNode* n, int depth) {
        std::vector<const FolderTreeNode*> kids;
        for (const FolderTreeNode* c = n->firstChild; c; c = c->nextSibling)
            kids.push_back(c);
        for (auto it = kids.rbegin(); it != kids.rend(); ++it)
            stack.emplace_back(*it, depth);
    };
    push(b.topNode, 0);
    while (!stack.empty()) {
        const auto [n, depth] = stack.back();
        stack.pop_back();
        if (depth > kMaxFolderDepth || !seen.insert(n).second) continue;
        out.emplace_back(n->folderIndex, depth);
        push(n, depth + 1);
    }
    return out;
}

// What a kind of damage cost, in words; empty for kinds that cost nothing.
QString lossInWords(DamageKind kind, std::uint64_t n) {
    switch (kind) {
        case DamageKind::FileShorterThanHeader:
            return QObject::tr(
                "The file ends early: its last part is missing, and items that "
                "were stored there are gone.");
        case DamageKind::ItemNotLoaded:
            return counted(n, "1 item could not be read.", "%1 items could not be read.");
        case DamageKind::FolderNotLoaded:
            return counted(n,
                           "1 folder could not be read; its items are listed under Lost and "
                           "Found.",
                           "%1 folders could not be read; their items are listed under Lost "
                           "and Found.");
        case DamageKind::FolderLost:
            return counted(n,
                           "1 folder is gone; its items are listed in a folder named after it "
                           "or under Lost and Found.",
                           "%1 folders are gone; their items are listed in folders named after "
                           "them or under Lost and Found.");
        case DamageKind::ItemOnlyRowLeft:
            return counted(n,
                           "1 item is known only from its folder's list: its text and "
                           "attachments are gone.",
                           "%1 items are known only from their folders' lists: their text and "
                           "attachments are gone.");
        case DamageKind::DeflatedBlocks:
            return counted(n, "1 compressed part of the file could not be unpacked.",
                           "%1 compressed parts of the file could not be unpacked.");
        case DamageKind::ItemPartsDamaged:
            return counted(n,
                           "1 item lost part of its contents (its text, an attachment or its "
                           "recipients); the rest of it is kept.",
                           "%1 items lost part of their contents (their text, attachments or "
                           "recipients); the rest of them is kept.");
        case DamageKind::UnreadablePages:
            return counted(n, "1 part of the file could not be read from the disk.",
                           "%1 parts of the file could not be read from the disk.");
        case DamageKind::LiveIndexPageChecksum:
        case DamageKind::LiveBlockPastEnd:
        case DamageKind::LiveNodeWithoutData:
            return QObject::tr(
                "Parts of the file's index are damaged; what they pointed to "
                "was searched for in the rest of the file.");
        default:
            return {};
    }
}

}  // namespace

QString reportHtml(const RecoveredBase& base, bool details) {
    const bool lost = base.damage.dataLost();
    QString html = QStringLiteral("<h2>%1</h2>").arg(esc(base.fileName));
    if (lost) {
        html += QObject::tr("<p style='color:#b91c1c'><b>Damaged: some data was lost.</b></p>");
        QStringList losses;
        for (std::size_t k = 0; k < static_cast<std::size_t>(DamageKind::Count); ++k) {
            const auto kind = static_cast<DamageKind>(k);
            const QString words = lossInWords(kind, base.damage.count(kind));
            if (base.damage.count(kind) && !words.isEmpty() && !losses.contains(words))
                losses << words;
        }
        html +=
            QStringLiteral("<ul><li>%1</li></ul>").arg(losses.join(QStringLiteral("</li><li>")));
        html += QObject::tr(
            "<p><b>What you can do:</b> everything that could be read is in the tree. Save it "
            "now with <b>Save As</b> into a new file or folder; the damaged file itself is "
            "never changed. If the file is a copy, recovering the original (or another "
            "backup) may give back more.</p>");
    } else if (base.damage.damaged()) {
        html += QObject::tr(
            "<p style='color:#b45309'><b>Damaged: nothing was lost,</b> but the file is "
            "broken: Outlook and other programs may refuse it.</p><p><b>What you can do:</b> "
            "save everything with <b>Save As</b> into a new .pst and use that copy instead; "
            "the damaged file itself is never changed.</p>");
    } else {
        html += QObject::tr(
            "<p style='color:#15803d'><b>Healthy: nothing was lost.</b> Every folder and item "
            "in the file could be read.</p><p><b>What you can do:</b> browse the items, or save "
            "them with <b>Save As</b>; the file itself is never changed.</p>");
    }

    // Counts as the tree shows them.
    const auto folders = treeFolders(base);
    std::uint64_t shown = 0;
    QString rows;
    for (const auto& [f, depth] : folders) {
        if (f >= base.folderEntries.size()) continue;
        const std::uint64_t n = listedItems(base, base.folderEntries[f]);
        shown += n;
        if (n == 0) continue;
        rows += QStringLiteral(
                    "<tr><td style='padding-left:%1px'>%2</td><td align=right>%3</td>"
                    "</tr>")
                    .arg(depth * 14)
                    .arg(esc(std::string(folderName(base, f))))
                    .arg(QLocale().toString(static_cast<qulonglong>(n)));
    }
    html += QObject::tr("<h3>What the tree shows</h3><p>%1 in %2.</p>")
                .arg(counted(shown, "1 item", "%1 items"),
                     counted(folders.size(), "1 folder", "%1 folders"));
    if (!rows.isEmpty()) html += QStringLiteral("<table cellspacing=4>") + rows + "</table>";

    std::uint64_t deleted = 0, hidden = 0, unreadable = 0;
    const std::size_t n = std::min(base.itemSummaries.size(), base.messageEntries.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (base.messageEntries[i].loadFailed)
            ++unreadable;
        else if (base.itemSummaries[i].hiddenCode != 0)
            ++hidden;
        else if (base.itemSummaries[i].deletedMark)
            ++deleted;
    }
    std::unordered_set<std::uint32_t> inTree;
    for (const auto& [f, depth] : folders)
        inTree.insert(f);
    std::uint64_t systemFolders = 0;
    for (std::uint32_t f = 0; f < base.folderEntries.size(); ++f)
        systemFolders += !inTree.count(f) && (!base.topNode || f != base.topNode->folderIndex) &&
                         (!base.rootNode || f != base.rootNode->folderIndex);
    QStringList notes;
    if (deleted)
        notes << counted(deleted,
                         "1 of them was deleted in Outlook and found again; it has the "
                         "red cross.",
                         "%1 of them were deleted in Outlook and found again; they have the "
                         "red cross.");
    if (base.dropped.itemsFromDataAlone)
        notes << counted(base.dropped.itemsFromDataAlone, "1 item was rebuilt from its data alone.",
                         "%1 items were rebuilt from their data alone.");
    if (base.dropped.orphanGroups)
        notes << counted(base.dropped.orphanGroups,
                         "1 folder was made for items whose own folder is gone (Lost and "
                         "Found).",
                         "%1 folders were made for items whose own folder is gone (Lost and "
                         "Found).");
    if (!notes.isEmpty()) html += QStringLiteral("<p>%1</p>").arg(notes.join(QLatin1Char(' ')));
    QStringList hiddenNotes;
    if (hidden)
        hiddenNotes << counted(hidden,
                               "1 item Outlook keeps for itself (a view, rule, free/busy or "
                               "settings record)",
                               "%1 items Outlook keeps for itself (views, rules, free/busy and "
                               "settings records)");
    if (systemFolders)
        hiddenNotes << counted(systemFolders, "1 folder Outlook keeps for itself",
                               "%1 folders Outlook keeps for itself (such as its search and "
                               "view folders)");
    if (unreadable)
        hiddenNotes << counted(unreadable, "1 item that could not be read",
                               "%1 items that could not be read");
    if (!hiddenNotes.isEmpty())
        html += QObject::tr("<p><b>Not shown:</b> %1. They hold nothing a person filed.</p>")
                    .arg(hiddenNotes.join(QStringLiteral("; ")));

    // Items kept with parts missing: the user may want to look at each.
    QString damagedRows;
    std::uint64_t damagedShown = 0, damagedMore = 0;
    constexpr std::uint64_t kDamagedRowsShown = 100;
    for (const DamagedItem& d : base.damagedItems) {
        if (d.item >= n || base.itemSummaries[d.item].hiddenCode != 0) continue;
        if (damagedShown == kDamagedRowsShown) {
            ++damagedMore;
            continue;
        }
        ++damagedShown;
        const ItemSummary& s = base.itemSummaries[d.item];
        QString folder;
        for (std::uint32_t f = 0; f < base.folderEntries.size(); ++f)
            if (d.item >= base.folderEntries[f].firstItem && d.item < base.folderEntries[f].endItem)
                folder = esc(std::string(folderName(base, f)));
        damagedRows +=
            QStringLiteral("<tr><td>%1%2</td><td>%3</td><td>%4</td></tr>")
                .arg(esc(s.subjectText.empty() ? std::string("(no subject)") : s.subjectText))
                .arg(s.deletedMark ? QObject::tr(" (deleted)") : QString())
                .arg(folder)
                .arg(esc(partNames(d.parts)));
    }
    if (!damagedRows.isEmpty()) {
        html += QObject::tr(
                    "<h3>Damaged items</h3><p>These items are in the tree with what could be "
                    "read; the parts named here are missing or may be wrong.</p><table "
                    "cellspacing=8><tr><th align=left>subject</th><th align=left>folder</th>"
                    "<th align=left>lost</th></tr>") +
                damagedRows + QStringLiteral("</table>");
        if (damagedMore)
            html += QObject::tr("<p>And %1 more.</p>")
                        .arg(QLocale().toString(static_cast<qulonglong>(damagedMore)));
    }

    if (!details) return html;

    // For experts: what was damaged where, and where each folder's items came from.
    html += QObject::tr("<h3>Details</h3>");
    QString damage;
    for (std::size_t k = 0; k < static_cast<std::size_t>(DamageKind::Count); ++k) {
        const auto kind = static_cast<DamageKind>(k);
        if (base.damage.count(kind) == 0) continue;
        QStringList offsets;
        for (std::uint64_t o : base.damage.firstOffsets(kind))
            if (o != 0)
                offsets << QStringLiteral("0x%1").arg(o, 0, 16);  // 0: no place (a lost folder)
        damage += QStringLiteral("<tr><td align=right>%1</td><td>%2%3</td><td>%4</td></tr>")
                      .arg(base.damage.count(kind))
                      .arg(QString::fromLatin1(damageKindName(kind)))
                      .arg(DamageLog::losesData(kind) ? QString() : QObject::tr(" (nothing lost)"))
                      .arg(offsets.join(QStringLiteral(" ")));
    }
    if (!damage.isEmpty())
        html += QObject::tr(
                    "<table cellspacing=6><tr><th>count</th><th>kind</th>"
                    "<th>first file offsets</th></tr>") +
                damage + QStringLiteral("</table>");
    std::uint64_t fromRows = 0;
    for (const MessageNodeEntry& e : base.messageEntries)
        fromRows += e.source == ItemSource::TableRow;
    html += QObject::tr("<p>%1 items from contents-table rows; %2 duplicate copies dropped.</p>")
                .arg(fromRows)
                .arg(base.dropped.duplicateItems);
    html += QObject::tr(
        "<table cellspacing=6><tr><th align=left>folder"
        "</th><th>live index</th><th>stale index</th><th>data alone</th>"
        "<th>table row</th></tr>");
    for (std::uint32_t f = 0; f < base.folderEntries.size(); ++f) {
        const FolderEntry& folder = base.folderEntries[f];
        std::array<std::uint64_t, kItemSourceSlots> counts{};
        const std::uint32_t end = std::min<std::uint32_t>(
            folder.endItem, static_cast<std::uint32_t>(base.messageEntries.size()));
        for (std::uint32_t i = folder.firstItem; i < end; ++i)
            ++counts[itemSourceSlot(base.messageEntries[i])];
        if (counts == std::array<std::uint64_t, kItemSourceSlots>{}) continue;
        html += QStringLiteral("<tr><td>%1</td>").arg(esc(std::string(folderName(base, f))));
        for (std::uint64_t c : counts)
            html += QStringLiteral("<td align=right>%1</td>").arg(c);
        html += QStringLiteral("</tr>");
    }
    html += QStringLiteral("</table>");
    return html;
}

ReportDialog::ReportDialog(const RecoveredBase& base, QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Recovery Report"));
    auto* view = new QTextBrowser(this);
    view->setOpenLinks(false);
    view->setHtml(reportHtml(base));
    details_ = new QCheckBox(tr("Show details for experts (damage by kind and file offset, "
                                "where items came from)"),
                             this);
    connect(details_, &QCheckBox::toggled, this,
            [view, &base](bool on) { view->setHtml(reportHtml(base, on)); });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view);
    layout->addWidget(details_);
    layout->addWidget(buttons);
    resize(640, 560);
}

}  // namespace brevik::app
