// The preview below the item list: the header fields (From, Subject, To, Cc, Attachments) and
// the body, as plain text or as HTML in a safe viewer. Also shows the information pages that
// stand in the lower part when there is no item to preview.
#pragma once

#include <QIcon>
#include <QStringList>
#include <QWidget>
#include <optional>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QStackedWidget;
class QTextEdit;
class QFrame;

namespace brevik::views {

class SafeBrowser;

struct PreviewHeader {
    QString from;
    QString to;
    QString subject;
    QString cc;
    QStringList attachments;
};

// The file-type icon for an attachment name, by its extension only (the disk is never
// touched); `iconName` receives the theme name used.
QIcon attachmentIcon(const QString& fileName, QString* iconName = nullptr);

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

    SafeBrowser* browser() const { return browser_; }
    QPlainTextEdit* bodyField() const { return body_; }
    bool headerShown() const { return !headerHidden_; }
    bool bodyFieldShown() const;
    QString from() const;
    QString to() const;
    QString subject() const;
    QString cc() const;  // empty when the Cc line is hidden
    bool ccShown() const;
    // The attachment names and the icon names they show, in order.
    const QStringList& attachmentNames() const { return attachmentNames_; }
    const QStringList& attachmentIconNames() const { return attachmentIcons_; }
    // The attachments field's text: the names separated by "; ".
    QString attachmentsText() const;

  private:
    void applyVisibility();

    QWidget* header_ = nullptr;
    QLabel* ccLabel_ = nullptr;
    QLabel* attachmentsLabel_ = nullptr;
    QLineEdit* from_ = nullptr;
    QLineEdit* to_ = nullptr;
    QLineEdit* subject_ = nullptr;
    QLineEdit* cc_ = nullptr;
    QTextEdit* attachments_ = nullptr;
    QFrame* rule_ = nullptr;
    QStackedWidget* bodyStack_ = nullptr;
    QPlainTextEdit* body_ = nullptr;
    SafeBrowser* browser_ = nullptr;
    bool headerHidden_ = true;
    bool hasCc_ = false;
    bool hasAttachments_ = false;
    QStringList attachmentNames_;
    QStringList attachmentIcons_;
};

}  // namespace brevik::views
