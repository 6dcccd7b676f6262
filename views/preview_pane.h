// The preview below the item list: the header fields (From, Subject, To, Cc, Sent, Received,
// Attachments) and the body, as plain text or as HTML in a safe viewer. Also shows the
// information pages that stand in the lower part when there is no item to preview.
#pragma once

#include <QIcon>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <optional>

#include "views/attachment_list.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QStackedWidget;
class QFrame;

namespace brevik::views {

class SafeBrowser;

struct PreviewHeader {
    QString from;
    QString to;
    QString subject;
    QString cc;
    QString sent;      // empty when unknown
    QString received;  // empty when unknown or the same as sent
    QList<AttachmentEntry> attachments;
    AttachmentList::DataSource attachmentData;
    std::function<void(int)> openMessage;  // opens attached message k in a viewer
    QString damagedParts;                  // the parts whose blocks failed; empty when whole
};

class PreviewPane final : public QWidget {
    Q_OBJECT
  public:
    explicit PreviewPane(QWidget* parent = nullptr);

    // Fills the header (hidden for notes) and the body: the plain text given, or else the
    // viewer, which the caller points at the HTML.
    void fillHeader(const PreviewHeader& header, bool hideHeader,
                    const std::optional<QString>& plainBody);
    // Shows the viewer alone, without header lines.
    void showHeader(bool shown);
    // Says above the body that pictures from the internet were not loaded.
    void setRemoteNotice(bool shown);
    bool remoteNoticeShown() const;
    // The notice that the item lost parts, as fillHeader set it; empty when hidden.
    QString damageNotice() const;

    SafeBrowser* browser() const { return browser_; }
    QPlainTextEdit* bodyField() const { return body_; }
    bool headerShown() const { return !headerHidden_; }
    bool bodyFieldShown() const;
    QString from() const;
    QString to() const;
    QString subject() const;
    QString cc() const;  // empty when the Cc line is hidden
    bool ccShown() const;
    QString sent() const;
    QString received() const;  // empty when the Received line is hidden
    AttachmentList* attachmentList() const { return attachments_; }
    // The attachment names and the icon names they show, in order.
    QStringList attachmentNames() const;
    const QStringList& attachmentIconNames() const { return attachments_->iconNames(); }
    // The attachments field's text: the names separated by "; ".
    QString attachmentsText() const;

  private:
    void applyVisibility();

    QWidget* header_ = nullptr;
    QLabel* ccLabel_ = nullptr;
    QLabel* attachmentsLabel_ = nullptr;
    QLabel* sentLabel_ = nullptr;
    QLabel* receivedLabel_ = nullptr;
    QLabel* remoteNotice_ = nullptr;
    QLabel* damageNotice_ = nullptr;
    QLineEdit* from_ = nullptr;
    QLineEdit* to_ = nullptr;
    QLineEdit* subject_ = nullptr;
    QLineEdit* cc_ = nullptr;
    QLineEdit* sent_ = nullptr;
    QLineEdit* received_ = nullptr;
    AttachmentList* attachments_ = nullptr;
    QFrame* rule_ = nullptr;
    QStackedWidget* bodyStack_ = nullptr;
    QPlainTextEdit* body_ = nullptr;
    SafeBrowser* browser_ = nullptr;
    bool headerHidden_ = true;
    bool hasCc_ = false;
    bool hasAttachments_ = false;
    bool hasSent_ = false;
    bool hasReceived_ = false;
};

}  // namespace brevik::views
