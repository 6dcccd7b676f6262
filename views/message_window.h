// A window of its own for an attached message: the same preview as the main window's, with its
// header, its body and its attachments, which open and save in turn.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>

#include "app/attachment_files.h"

namespace brevik::views {

class PreviewPane;

class MessageWindow final : public QWidget {
    Q_OBJECT
  public:
    // `openFolder`: the private folder its body and opened attachments are written to.
    MessageWindow(std::shared_ptr<const app::ShownMessage> message, const QString& openFolder,
                  const QString& saveFolder, QWidget* parent = nullptr);

    PreviewPane* preview() const { return preview_; }

  private:
    std::shared_ptr<const app::ShownMessage> message_;
    PreviewPane* preview_ = nullptr;
    QString openFolder_;
    QString saveFolder_;
};

// The indexes of the attachments a preview lists, of `count`: every one except the pictures the
// HTML body shows (`shownInline` says which).
QList<int> listedAttachments(int count, const std::function<bool(int)>& shownInline);

}  // namespace brevik::views
