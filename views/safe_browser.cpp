#include "views/safe_browser.h"

#include <QDesktopServices>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTextDocument>

namespace brevik::views {

SafeBrowser::SafeBrowser(QWidget* parent) : QTextBrowser(parent) {
    setOpenLinks(false);
    setOpenExternalLinks(false);
    // A link is followed only when the user clicks it, and then by the desktop's own programs.
    connect(this, &QTextBrowser::anchorClicked, this, [](const QUrl& url) {
        const QString scheme = url.scheme().toLower();
        if (scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
            scheme == QLatin1String("mailto"))
            QDesktopServices::openUrl(url);
    });
}

void SafeBrowser::showPage(const QString& name) {
    if (name == page_ && file_.isEmpty()) return;
    page_ = name;
    file_.clear();
    cid_ = nullptr;
    refused_.clear();
    setSource(QUrl(QStringLiteral("qrc:/resources/pages/%1.html").arg(name)),
              QTextDocument::HtmlResource);
    clearHistory();
}

void SafeBrowser::showFile(const QString& path, CidResolver cid) {
    page_.clear();
    file_ = path;
    cid_ = std::move(cid);
    refused_.clear();
    setSource(QUrl::fromLocalFile(path), QTextDocument::HtmlResource);
    clearHistory();
}

QVariant SafeBrowser::loadResource(int type, const QUrl& name) {
    const QString scheme = name.scheme().toLower();
    if (!file_.isEmpty() && name.isLocalFile() && name.toLocalFile() == file_) {
        QFile f(file_);
        if (!f.open(QIODevice::ReadOnly)) return QString();
        // The preview file is written as UTF-8, whatever charset the mail declares inside.
        return QString::fromUtf8(f.readAll());
    }
    if (scheme == QLatin1String("cid") && type == QTextDocument::ImageResource && cid_) {
        const QByteArray bytes = cid_(name.path(QUrl::FullyDecoded));
        const QImage image = QImage::fromData(bytes);
        if (!image.isNull()) return image;
    } else if (scheme == QLatin1String("qrc") && file_.isEmpty()) {
        return QTextBrowser::loadResource(type, name);
    }
    // A refused resource is asked for again at every layout; note it once.
    if (!refused_.contains(name.toString())) refused_ << name.toString();
    // An empty answer, not none: the document reads local and relative files itself when the
    // viewer gives nothing.
    return QByteArray("");
}

bool SafeBrowser::namesRemotePictures(const QString& html) {
    static const QRegularExpression remote(
        QStringLiteral(R"((?:\bsrc|\bbackground|\bposter)\s*=\s*["']?\s*(?:https?:)?//|)"
                       R"(url\(\s*["']?\s*(?:https?:)?//)"),
        QRegularExpression::CaseInsensitiveOption);
    return html.contains(remote);
}

QStringList SafeBrowser::namedContentIds(const QString& html) {
    static const QRegularExpression cid(QStringLiteral(R"(cid:([^"'\s)>]+))"),
                                        QRegularExpression::CaseInsensitiveOption);
    QStringList ids;
    for (auto it = cid.globalMatch(html); it.hasNext();) {
        const QString id = QUrl::fromPercentEncoding(it.next().captured(1).toUtf8());
        if (!ids.contains(id)) ids << id;
    }
    return ids;
}

}  // namespace brevik::views
