// An HTML viewer for untrusted mail: no scripts (the widget runs none), no network and no local
// files except the one document it was asked to show; inline pictures come from the item's own
// attachments through "cid:" names.
#pragma once

#include <QStringList>
#include <QTextBrowser>
#include <functional>

namespace brevik::views {

class SafeBrowser final : public QTextBrowser {
    Q_OBJECT
  public:
    // The picture an HTML body names by "cid:<id>", as encoded image bytes; empty for none.
    using CidResolver = std::function<QByteArray(const QString& contentId)>;

    explicit SafeBrowser(QWidget* parent = nullptr);

    // Shows one of the program's information pages by name ("START_PAGE", ...).
    void showPage(const QString& name);
    // Shows an HTML file written for the preview; `cid` answers its inline pictures.
    void showFile(const QString& path, CidResolver cid);
    // The page shown last by showPage; empty while a file is shown.
    QString pageName() const { return page_; }
    bool showsFile() const { return !file_.isEmpty(); }
    // Resources refused since the last document was shown.
    const QStringList& refused() const { return refused_; }

    QVariant loadResource(int type, const QUrl& name) override;

    // Whether an HTML text asks for pictures from the network (which are never loaded).
    static bool namesRemotePictures(const QString& html);
    // The content ids an HTML text names by "cid:", as written.
    static QStringList namedContentIds(const QString& html);

  private:
    QString page_;
    QString file_;
    CidResolver cid_;
    QStringList refused_;
};

}  // namespace brevik::views
