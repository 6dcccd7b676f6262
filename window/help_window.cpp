#include "window/help_window.h"

#include <QTextBrowser>
#include <QVBoxLayout>

namespace brevik::app {

HelpWindow::HelpWindow(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Brevik Help"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto* browser = new QTextBrowser(this);
    browser->setOpenExternalLinks(false);
    browser->setOpenLinks(true);
    browser->setSource(QUrl(QStringLiteral("qrc:/resources/help/index.html")));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser);
    resize(640, 620);
}

}  // namespace brevik::app
