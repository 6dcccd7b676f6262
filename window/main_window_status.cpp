// The main window's status bar: what the selected file holds, and how the last save ended.
#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <filesystem>

#include "platform/prompter.h"
#include "views/locale_dates.h"
#include "views/right_pane.h"
#include "window/main_window.h"

namespace brevik::app {

namespace {

namespace fs = std::filesystem;

// "1 item", "93,738 items": the number as the locale writes it.
QString itemCount(std::uint64_t n) {
    return n == 1 ? QObject::tr("1 item")
                  : QObject::tr("%1 items").arg(QLocale().toString(static_cast<qulonglong>(n)));
}

}  // namespace

QString MainWindow::savedText(const SaveOutcome& saved) const {
    return tr("Save OK. %1 saved to %2")
        .arg(itemCount(saved.items), QString::fromStdString(saved.outputPath));
}

QString MainWindow::stoppedSaveText(const SaveOutcome& saved) {
    const QString where = QString::fromStdString(saved.outputPath);
    std::error_code ec;
    // A .pst appears only when complete; separate files stay as they were written.
    if (!saved.outputIsFolder || saved.items == 0 || !fs::exists(saved.outputPath, ec))
        return tr("Canceled by user. Nothing was saved.");
    const QString kept =
        tr("%1 had been saved to %2 when the save stopped.").arg(itemCount(saved.items), where);
    if (!platform::Prompter::current().ask(
            this, tr("Canceled by user. %1\n\nRemove the files saved so far?").arg(kept))) {
        offerOpenFolder(saved);
        return tr("Canceled by user. %1").arg(kept);
    }
    // The folder was made new by this save: nothing else is in it.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    fs::remove_all(saved.outputPath, ec);
    QApplication::restoreOverrideCursor();
    return ec ? tr("Canceled by user. Could not remove %1: %2")
                    .arg(where, QString::fromStdString(ec.message()))
              : tr("Canceled by user. The files saved so far were removed.");
}

void MainWindow::offerOpenFolder(const SaveOutcome& saved) {
    const QString path = QString::fromStdString(saved.outputPath);
    openFolderPath_ = saved.outputIsFolder ? path : QFileInfo(path).absolutePath();
    openFolderButton_->show();
}

void MainWindow::openSavedFolder() {
    if (!openFolderPath_.isEmpty()) opener_(QUrl::fromLocalFile(openFolderPath_));
}

void MainWindow::updateSummary() {
    const RecoveredBase* b = state_.selectedBase < kNoBase ? state_.selected() : nullptr;
    QString text;
    if (b && b->openMode) {
        std::uint64_t shown = 0;
        const std::size_t n = std::min(b->itemSummaries.size(), b->messageEntries.size());
        for (std::size_t i = 0; i < n; ++i)
            shown += b->itemSummaries[i].hiddenCode == 0 && !b->messageEntries[i].loadFailed;
        text = tr("%1: %2").arg(QString::fromStdString(b->fileName), itemCount(shown));
        if (b->damage.damaged()) text += tr(" (damaged: see Tools > Recovery Report)");
        const std::size_t selected = right_->selectedItems().size();
        if (selected > 1) text += tr(", %1 selected").arg(selected);
    } else if (b) {
        const QFileInfo info(QString::fromStdString(b->folderPath + "/" + b->fileName));
        text = info.exists()
                   ? tr("%1: %2, modified %3 (not recovered yet)")
                         .arg(info.fileName(), QLocale().formattedDataSize(info.size()),
                              QLocale().toString(info.lastModified(), views::fourDigitYearFormat()))
                   : tr("%1: the file is gone").arg(info.fileName());
    }
    summary_->setText(text);
    summary_->setVisible(!text.isEmpty());
}

}  // namespace brevik::app
