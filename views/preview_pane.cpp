#include "views/preview_pane.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeDatabase>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QVBoxLayout>

#include "views/safe_browser.h"

namespace brevik::views {
namespace {

constexpr int kIconSize = 16;

QLabel* headerLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont f = label->font();
    f.setWeight(QFont::Black);
    label->setFont(f);
    return label;
}

QLineEdit* headerField(QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setReadOnly(true);
    field->setFrame(false);
    // Read-only fields take the window's colour, as labels do.
    QPalette p = field->palette();
    p.setColor(QPalette::Base, p.color(QPalette::Window));
    field->setPalette(p);
    field->setFocusPolicy(Qt::ClickFocus);
    return field;
}

// Without a desktop session's theme (a bare X session, offscreen) Qt looks for icons nowhere;
// the themes installed on the system still give file-type icons.
void useInstalledIconTheme() {
    if (!QIcon::themeName().isEmpty()) return;
    QStringList paths = QIcon::themeSearchPaths();
    for (const QString& dir :
         QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("icons"),
                                   QStandardPaths::LocateDirectory))
        if (!paths.contains(dir)) paths << dir;
    QIcon::setThemeSearchPaths(paths);
    for (const QString& theme :
         {QStringLiteral("Adwaita"), QStringLiteral("breeze"), QStringLiteral("hicolor")}) {
        QIcon::setThemeName(theme);
        if (QIcon::hasThemeIcon(QStringLiteral("text-x-generic"))) return;
    }
    QIcon::setThemeName(QString());
}

}  // namespace

QIcon attachmentIcon(const QString& fileName, QString* iconName) {
    static const QMimeDatabase db;
    // Only the name's extension counts: a name without one is any file.
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    const QMimeType mime = dot > 0 && dot + 1 < fileName.size()
                               ? db.mimeTypeForFile(fileName, QMimeDatabase::MatchExtension)
                               : db.mimeTypeForName(QStringLiteral("application/octet-stream"));
    for (const QString& name :
         {mime.iconName(), mime.genericIconName(), QStringLiteral("application-x-generic")}) {
        if (!QIcon::hasThemeIcon(name)) continue;
        if (iconName) *iconName = name;
        return QIcon::fromTheme(name);
    }
    if (iconName) *iconName = QStringLiteral("attachment");
    return QIcon(QStringLiteral(":/resources/icons/attachment.svg"));
}

PreviewPane::PreviewPane(QWidget* parent) : QWidget(parent) {
    useInstalledIconTheme();

    header_ = new QWidget(this);
    auto* grid = new QGridLayout(header_);
    grid->setContentsMargins(10, 6, 5, 2);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(2);
    from_ = headerField(header_);
    to_ = headerField(header_);
    subject_ = headerField(header_);
    cc_ = headerField(header_);
    ccLabel_ = headerLabel(tr("Cc:"), header_);
    attachmentsLabel_ = headerLabel(tr("Attachments:"), header_);
    grid->addWidget(headerLabel(tr("From:"), header_), 0, 0);
    grid->addWidget(from_, 0, 1);
    grid->addWidget(headerLabel(tr("To:"), header_), 0, 2);
    grid->addWidget(to_, 0, 3);
    grid->addWidget(headerLabel(tr("Subject:"), header_), 1, 0);
    grid->addWidget(subject_, 1, 1);
    grid->addWidget(ccLabel_, 1, 2);
    grid->addWidget(cc_, 1, 3);
    grid->addWidget(attachmentsLabel_, 2, 0, Qt::AlignTop);
    attachments_ = new QTextEdit(header_);
    attachments_->setReadOnly(true);
    attachments_->setFrameShape(QFrame::NoFrame);
    attachments_->setPalette(from_->palette());
    attachments_->setFixedHeight(2 * kIconSize + 10);
    attachments_->setFocusPolicy(Qt::ClickFocus);
    grid->addWidget(attachments_, 2, 1, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);

    rule_ = new QFrame(this);
    rule_->setFrameShape(QFrame::HLine);
    rule_->setFrameShadow(QFrame::Plain);
    rule_->setStyleSheet(QStringLiteral("color: rgb(172, 168, 153);"));

    bodyStack_ = new QStackedWidget(this);
    body_ = new QPlainTextEdit(bodyStack_);
    body_->setReadOnly(true);
    body_->setFrameShape(QFrame::NoFrame);
    browser_ = new SafeBrowser(bodyStack_);
    browser_->setFrameShape(QFrame::NoFrame);
    bodyStack_->addWidget(body_);
    bodyStack_->addWidget(browser_);
    bodyStack_->setCurrentWidget(browser_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(3);
    layout->addWidget(header_);
    layout->addWidget(rule_);
    layout->addWidget(bodyStack_, 1);
    applyVisibility();
}

void PreviewPane::fillHeader(const PreviewHeader& h, bool hideHeader,
                             const std::optional<QString>& plainBody) {
    headerHidden_ = hideHeader;
    for (QLineEdit* f : {from_, to_, subject_, cc_})
        f->clear();
    attachments_->clear();
    body_->clear();
    if (plainBody) {
        body_->setPlainText(*plainBody);
        bodyStack_->setCurrentWidget(body_);
    } else {
        bodyStack_->setCurrentWidget(browser_);
    }
    from_->setText(h.from);
    to_->setText(h.to);
    subject_->setText(h.subject);
    hasCc_ = !h.cc.isEmpty();
    cc_->setText(h.cc);
    // Long recipient lists end at the field's edge; the whole text is one hover away.
    for (QLineEdit* f : {from_, to_, subject_, cc_}) {
        f->setCursorPosition(0);
        f->setToolTip(f->text());
    }

    hasAttachments_ = !h.attachments.isEmpty();
    attachmentNames_ = h.attachments;
    attachmentIcons_.clear();
    QTextDocument* doc = attachments_->document();
    doc->clear();  // also drops the icons of the last item
    QString html;
    for (qsizetype k = 0; k < h.attachments.size(); ++k) {
        QString iconName;
        const QIcon icon = attachmentIcon(h.attachments[k], &iconName);
        attachmentIcons_ << iconName;
        const QUrl url(QStringLiteral("attachment-icon:%1").arg(k));
        doc->addResource(QTextDocument::ImageResource, url,
                         icon.pixmap(kIconSize, kIconSize).toImage());
        html += QStringLiteral("<img src=\"%1\" style=\"vertical-align: bottom\">&nbsp;%2")
                    .arg(url.toString(), h.attachments[k].toHtmlEscaped());
        if (k + 1 < h.attachments.size()) html += QStringLiteral("; ");
    }
    // Inserted rather than set, which would drop the icon resources again.
    QTextCursor(doc).insertHtml(html);
    applyVisibility();
}

void PreviewPane::showHeader(bool shown) {
    headerHidden_ = !shown;
    if (!shown) bodyStack_->setCurrentWidget(browser_);
    applyVisibility();
}

void PreviewPane::applyVisibility() {
    setFocusProxy(bodyStack_->currentWidget());
    header_->setVisible(!headerHidden_);
    rule_->setVisible(!headerHidden_);
    ccLabel_->setVisible(hasCc_);
    cc_->setVisible(hasCc_);
    attachmentsLabel_->setVisible(hasAttachments_);
    attachments_->setVisible(hasAttachments_);
}

bool PreviewPane::bodyFieldShown() const {
    return bodyStack_->currentWidget() == body_;
}
QString PreviewPane::from() const {
    return from_->text();
}
QString PreviewPane::to() const {
    return to_->text();
}
QString PreviewPane::subject() const {
    return subject_->text();
}
QString PreviewPane::cc() const {
    return hasCc_ ? cc_->text() : QString();
}
bool PreviewPane::ccShown() const {
    return hasCc_ && !headerHidden_;
}
QString PreviewPane::attachmentsText() const {
    return attachmentNames_.join(QStringLiteral("; "));
}

}  // namespace brevik::views
