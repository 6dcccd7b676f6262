#include "views/preview_pane.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "views/safe_browser.h"

namespace brevik::views {
namespace {

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

}  // namespace

PreviewPane::PreviewPane(QWidget* parent) : QWidget(parent) {
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
    sent_ = headerField(header_);
    received_ = headerField(header_);
    sentLabel_ = headerLabel(tr("Sent:"), header_);
    receivedLabel_ = headerLabel(tr("Received:"), header_);
    grid->addWidget(headerLabel(tr("From:"), header_), 0, 0);
    grid->addWidget(from_, 0, 1);
    grid->addWidget(headerLabel(tr("To:"), header_), 0, 2);
    grid->addWidget(to_, 0, 3);
    grid->addWidget(headerLabel(tr("Subject:"), header_), 1, 0);
    grid->addWidget(subject_, 1, 1);
    grid->addWidget(ccLabel_, 1, 2);
    grid->addWidget(cc_, 1, 3);
    grid->addWidget(sentLabel_, 2, 0);
    grid->addWidget(sent_, 2, 1);
    grid->addWidget(receivedLabel_, 2, 2);
    grid->addWidget(received_, 2, 3);
    grid->addWidget(attachmentsLabel_, 3, 0, Qt::AlignTop);
    attachments_ = new AttachmentList(header_);
    attachments_->setPalette(from_->palette());
    grid->addWidget(attachments_, 3, 1, 1, 3);
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

    remoteNotice_ = new QLabel(
        tr("Pictures from the internet were not loaded, so that the sender cannot tell that the "
           "message was opened."),
        this);
    remoteNotice_->setWordWrap(true);
    remoteNotice_->setContentsMargins(8, 3, 8, 3);
    remoteNotice_->setStyleSheet(
        QStringLiteral("background: #fff8e1; color: #5d4037; border-bottom: 1px solid #e0d6b8;"));

    damageNotice_ = new QLabel(this);
    damageNotice_->setWordWrap(true);
    damageNotice_->setContentsMargins(8, 3, 8, 3);
    damageNotice_->setStyleSheet(
        QStringLiteral("background: #fdecea; color: #7f1d1d; border-bottom: 1px solid #f0c4c0;"));
    damageNotice_->hide();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(3);
    layout->addWidget(header_);
    layout->addWidget(rule_);
    layout->addWidget(damageNotice_);
    layout->addWidget(remoteNotice_);
    layout->addWidget(bodyStack_, 1);
    applyVisibility();
}

void PreviewPane::fillHeader(const PreviewHeader& h, bool hideHeader,
                             const std::optional<QString>& plainBody) {
    headerHidden_ = hideHeader;
    body_->clear();
    remoteNotice_->hide();
    damageNotice_->setText(
        h.damagedParts.isEmpty()
            ? QString()
            : tr("This item is damaged. Parts not read whole: %1. The rest of the item was "
                 "recovered; what is shown of those parts may be incomplete or wrong.")
                  .arg(h.damagedParts));
    damageNotice_->setVisible(!h.damagedParts.isEmpty());
    if (plainBody) {
        body_->setPlainText(*plainBody);
        bodyStack_->setCurrentWidget(body_);
    } else {
        bodyStack_->setCurrentWidget(browser_);
    }
    from_->setText(h.from);
    to_->setText(h.to);
    subject_->setText(h.subject);
    cc_->setText(h.cc);
    sent_->setText(h.sent);
    received_->setText(h.received);
    hasCc_ = !h.cc.isEmpty();
    hasSent_ = !h.sent.isEmpty();
    hasReceived_ = !h.received.isEmpty();
    // Long recipient lists end at the field's edge; the whole text is one hover away.
    for (QLineEdit* f : {from_, to_, subject_, cc_, sent_, received_}) {
        f->setCursorPosition(0);
        f->setToolTip(f->text());
    }
    hasAttachments_ = !h.attachments.isEmpty();
    attachments_->setAttachments(h.attachments, h.attachmentData, h.openMessage);
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
    sentLabel_->setVisible(hasSent_ || hasReceived_);
    sent_->setVisible(hasSent_ || hasReceived_);
    receivedLabel_->setVisible(hasReceived_);
    received_->setVisible(hasReceived_);
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
QString PreviewPane::sent() const {
    return sent_->text();
}
QString PreviewPane::received() const {
    return hasReceived_ ? received_->text() : QString();
}
QStringList PreviewPane::attachmentNames() const {
    QStringList names;
    for (const AttachmentEntry& e : attachments_->entries())
        names << e.name;
    return names;
}
QString PreviewPane::attachmentsText() const {
    return attachmentNames().join(QStringLiteral("; "));
}
void PreviewPane::setRemoteNotice(bool shown) {
    remoteNotice_->setVisible(shown && !bodyFieldShown());
}
bool PreviewPane::remoteNoticeShown() const {
    return !remoteNotice_->isHidden();
}
QString PreviewPane::damageNotice() const {
    return damageNotice_->isHidden() ? QString() : damageNotice_->text();
}

}  // namespace brevik::views
