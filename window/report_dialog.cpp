#include "window/report_dialog.h"

#include <QDialogButtonBox>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <array>
#include <map>

#include "engine/damage_log.h"
#include "recovery/folder_tree.h"
#include "recovery/recovered_base.h"

namespace brevik::app {

namespace {

QString esc(const std::string& s) {
    return QString::fromStdString(s).toHtmlEscaped();
}

}  // namespace

QString reportHtml(const RecoveredBase& base) {
    const bool lost = base.damage.dataLost();
    QString html = QStringLiteral("<h2>%1</h2>").arg(esc(base.fileName));
    html += lost ? QObject::tr(
                       "<p style='color:#b91c1c'><b>Damaged: some data was lost.</b> "
                       "Everything that could be read is listed and can be saved.</p>")
            : base.damage.damaged()
                ? QObject::tr(
                      "<p style='color:#b45309'><b>Damaged: nothing was lost,</b> but the "
                      "file is broken and other programs may refuse it. Save what was "
                      "recovered and use the copy instead.</p>")
                : QObject::tr("<p style='color:#15803d'><b>Healthy: nothing was lost.</b></p>");

    QString damage;
    for (std::size_t k = 0; k < static_cast<std::size_t>(DamageKind::Count); ++k) {
        const auto kind = static_cast<DamageKind>(k);
        if (base.damage.count(kind) == 0) continue;
        QStringList offsets;
        for (std::uint64_t o : base.damage.firstOffsets(kind))
            offsets << QStringLiteral("0x%1").arg(o, 0, 16);
        damage += QStringLiteral("<tr><td align=right>%1</td><td>%2%3</td><td>%4</td></tr>")
                      .arg(base.damage.count(kind))
                      .arg(QString::fromLatin1(damageKindName(kind)))
                      .arg(DamageLog::losesData(kind) ? QString() : QObject::tr(" (nothing lost)"))
                      .arg(offsets.join(QStringLiteral(" ")));
    }
    if (!damage.isEmpty())
        html += QObject::tr(
                    "<h3>Damage</h3><table cellspacing=6><tr><th>count</th><th>kind</th>"
                    "<th>first file offsets</th></tr>") +
                damage + QStringLiteral("</table>");

    std::uint64_t fromRows = 0;
    for (const MessageNodeEntry& e : base.messageEntries)
        fromRows += e.source == ItemSource::TableRow;
    const DropCounts& d = base.dropped;
    html += QObject::tr(
                "<h3>Rebuilt</h3><p>%1 items from their data alone, %2 items from "
                "contents-table rows, %3 folders for orphaned items; %4 duplicate copies "
                "dropped.</p>")
                .arg(d.itemsFromDataAlone)
                .arg(fromRows)
                .arg(d.orphanGroups)
                .arg(d.duplicateItems);

    html += QObject::tr(
        "<h3>Items per folder</h3><table cellspacing=6><tr><th align=left>folder"
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
    setWindowTitle(tr("Recovery report"));
    auto* view = new QTextBrowser(this);
    view->setOpenLinks(false);
    view->setHtml(reportHtml(base));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view);
    layout->addWidget(buttons);
    resize(620, 520);
}

}  // namespace brevik::app
