#include "window/about_dialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QSysInfo>
#include <QVBoxLayout>

#include "app/app_state.h"

namespace brevik::app {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("About Brevik"));
    const QString version = QApplication::applicationVersion().isEmpty()
                                ? QStringLiteral("0.1.0")
                                : QApplication::applicationVersion();
    text_ =
        tr("<h3>%1</h3><p>Version %2</p>"
           "<p>Recovers folders and items, deleted and orphaned ones included, from damaged "
           "or healthy Outlook data files (.pst and .ost), and saves them as a new .pst "
           "file, as .msg, .eml or mbox files, and contacts and calendars as .vcf and .ics. The "
           "file being recovered is only ever read.</p>"
           "<p style='color:#666'>Built with Qt %3; running on Qt %4, %5.</p>")
            .arg(QString::fromLatin1(kProductName), version, QStringLiteral(QT_VERSION_STR),
                 QString::fromLatin1(qVersion()), QSysInfo::prettyProductName().toHtmlEscaped());
    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(QStringLiteral(":/resources/icons/brevik.svg")).pixmap(64, 64));
    icon->setAlignment(Qt::AlignTop);
    auto* words = new QLabel(text_, this);
    words->setWordWrap(true);
    words->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* row = new QHBoxLayout;
    row->addWidget(icon);
    row->addSpacing(12);
    row->addWidget(words, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
    setMinimumWidth(460);
}

QString AboutDialog::text() const {
    return text_;
}

}  // namespace brevik::app
