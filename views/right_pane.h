// The right pane: an information page, or the item list of the selected folder above the
// preview of its current item.
#pragma once

#include <QWidget>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/app_state.h"
#include "message/records.h"

class QSplitter;
class QStackedWidget;

namespace brevik::views {

class ItemListPane;
class PreviewPane;
class SafeBrowser;
class MessageWindow;
struct PreviewHeader;

// How the pane is arranged.
enum class RightPaneMode : std::uint8_t {
    PageAndPreview = 1,  // a page above, the preview viewer (no header) below
    ListAndHeader = 2,   // the list above, header fields and body below
    FullPage = 3,        // one page over the whole pane
    ListAndPreview = 6,  // the list above, the preview viewer (no header) below
};

class RightPane final : public QWidget {
    Q_OBJECT
  public:
    explicit RightPane(app::AppState& state, QWidget* parent = nullptr);

    // Shows what fits the tree selection (a page, or the list and the preview).
    void showSelectionPage();
    // Previews the selected base's current item.
    void showPreview();
    // The list above, the preview below; its position is kept with the window layout.
    QSplitter* splitter() const { return splitter_; }
    // Item indexes chosen in the list, in list order.
    std::vector<std::uint32_t> selectedItems() const;
    // The widgets that take the keyboard focus in turn after the tree.
    QWidget* listWidget() const;
    QWidget* previewWidget() const;

    RightPaneMode mode() const { return mode_; }
    ItemListPane* itemList() const { return list_; }
    PreviewPane* preview() const { return preview_; }
    // The page viewer in use: over the whole pane, or above the preview.
    SafeBrowser* pageViewer() const;
    // Where opened attachments and attached messages' bodies are written.
    QString openFolder() const;

  Q_SIGNALS:
    // An attached message was opened in a viewer window.
    void messageWindowOpened(MessageWindow* window);

  private:
    void setMode(RightPaneMode mode);
    void showPage(const QString& name);
    void showLowerPage(const QString& name);
    void dropPreviewFiles();
    // Previews an appointment, task, contact, list or journal entry with its own fields; false
    // for other items.
    bool showDetailsPage(RecoveredBase& base, std::uint32_t item);
    // The header's attachments, without the pictures the HTML shows, read when opened or saved.
    void fillAttachments(PreviewHeader& header, RecoveredBase& b, std::uint32_t item,
                         const std::shared_ptr<MessageRecord>& record, const QString& html);

    app::AppState& state_;
    RightPaneMode mode_ = RightPaneMode::FullPage;
    QStackedWidget* stack_ = nullptr;  // the full page, or the splitter
    SafeBrowser* fullPage_ = nullptr;
    QSplitter* splitter_ = nullptr;
    QStackedWidget* upper_ = nullptr;  // a page, or the list
    SafeBrowser* upperPage_ = nullptr;
    ItemListPane* list_ = nullptr;
    PreviewPane* preview_ = nullptr;
};

}  // namespace brevik::views
