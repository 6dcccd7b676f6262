#include "views/right_pane.h"

#include <QFile>
#include <QSplitter>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "app/attachment_files.h"
#include "app/temp_files.h"
#include "message/item_access.h"
#include "message/item_details.h"
#include "message/item_summary.h"
#include "message/load_message.h"
#include "message/records.h"
#include "platform/prompter.h"
#include "views/item_details_page.h"
#include "views/item_list_pane.h"
#include "views/locale_dates.h"
#include "views/message_window.h"
#include "views/preview_pane.h"
#include "views/safe_browser.h"

namespace brevik::views {

namespace {

using app::kNoItem;

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

QByteArray bytesOf(const Bytes& b) {
    return QByteArray(reinterpret_cast<const char*>(b.data()), static_cast<qsizetype>(b.size()));
}

}  // namespace

RightPane::RightPane(app::AppState& state, QWidget* parent) : QWidget(parent), state_(state) {
    stack_ = new QStackedWidget(this);
    fullPage_ = new SafeBrowser(stack_);
    splitter_ = new QSplitter(Qt::Vertical, stack_);
    upper_ = new QStackedWidget(splitter_);
    upperPage_ = new SafeBrowser(upper_);
    list_ = new ItemListPane(state_, upper_);
    upper_->addWidget(upperPage_);
    upper_->addWidget(list_);
    preview_ = new PreviewPane(splitter_);
    splitter_->addWidget(upper_);
    splitter_->addWidget(preview_);
    splitter_->setChildrenCollapsible(false);
    stack_->addWidget(fullPage_);
    stack_->addWidget(splitter_);
    for (SafeBrowser* b : {fullPage_, upperPage_})
        b->setFrameShape(QFrame::NoFrame);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(stack_);
    connect(list_, &ItemListPane::currentItemChanged, this, [this] { showPreview(); });
    preview_->attachmentList()->setFolders(openFolder(), qs(state_.saveFolder));

    preview_->browser()->showPage(QStringLiteral("NO_VIEW_FOR_ITEMS_TO_DOWN_HTML"));
    fullPage_->showPage(QStringLiteral("START_PAGE"));
    stack_->setCurrentWidget(fullPage_);
}

SafeBrowser* RightPane::pageViewer() const {
    return mode_ == RightPaneMode::FullPage ? fullPage_ : upperPage_;
}

void RightPane::setMode(RightPaneMode mode) {
    if (mode == mode_) return;
    mode_ = mode;
    switch (mode) {
        case RightPaneMode::FullPage:
            stack_->setCurrentWidget(fullPage_);
            return;
        case RightPaneMode::PageAndPreview:
            upper_->setCurrentWidget(upperPage_);
            preview_->showHeader(false);
            break;
        case RightPaneMode::ListAndHeader:
            upper_->setCurrentWidget(list_);
            preview_->showHeader(true);
            break;
        case RightPaneMode::ListAndPreview:
            upper_->setCurrentWidget(list_);
            preview_->showHeader(false);
            break;
    }
    stack_->setCurrentWidget(splitter_);
}

void RightPane::showPage(const QString& name) {
    pageViewer()->showPage(name);
}

void RightPane::showLowerPage(const QString& name) {
    preview_->showHeader(false);
    preview_->browser()->showPage(name);
}

void RightPane::dropPreviewFiles() {
    // The viewer lets go of the file, and of the base its inline pictures come from: that base
    // may be recovered again, or removed, while the pane shows something else.
    if (preview_->browser()->showsFile())
        preview_->browser()->showPage(QStringLiteral("NO_VIEW_FOR_ITEMS_TO_DOWN_HTML"));
    state_.previewFilePath.clear();
    app::cleanTempFolder(state_.tempFolder, true, false);
}

void RightPane::showSelectionPage() {
    RecoveredBase* b = state_.selectedBase < app::kNoBase ? state_.selected() : nullptr;
    if (b && b->openMode) {
        const std::uint32_t f = state_.viewOf(*b).currentFolderId;
        const FolderEntry* folder = f < b->folderEntries.size() ? &b->folderEntries[f] : nullptr;
        if (folder && folder->itemCount != 0) {
            setMode(RightPaneMode::ListAndPreview);
            list_->fillItemList();
            // The first row's selection has previewed it; an empty list still needs its page.
            if (state_.viewOf(*b).currentItem == kNoItem) showPreview();
            return;
        }
        list_->clear();
        setMode(RightPaneMode::PageAndPreview);
        showLowerPage(QStringLiteral("NO_VIEW_FOR_ITEMS_TO_DOWN_HTML"));
        showPage(QStringLiteral("NO_VIEW_FOR_ITEMS_TO_UP_HTML"));
        dropPreviewFiles();
        return;
    }
    list_->clear();
    setMode(RightPaneMode::FullPage);
    if (state_.selectedBase == app::kRootValue)
        showPage(QStringLiteral("START_PAGE"));
    else if (state_.selectedBase == app::kDirectoryValue)
        showPage(QStringLiteral("NO_VIEW_FOR_FOLDERS"));
    else if (b)
        showPage(QStringLiteral("NO_VIEW_FOR_FILES"));
    dropPreviewFiles();
}

void RightPane::showPreview() {
    RecoveredBase* b = state_.selectedBase < app::kNoBase ? state_.selected() : nullptr;
    if (!b) return;
    const std::uint32_t r = state_.viewOf(*b).currentItem;
    if (r == kNoItem || r >= b->itemSummaries.size() || !b->openMode) {
        setMode(RightPaneMode::ListAndPreview);
        showLowerPage(QStringLiteral("NO_VIEW_FOR_ITEMS_TO_DOWN_HTML"));
        dropPreviewFiles();
        return;
    }
    const ItemSummary& s = b->itemSummaries[r];
    if (showDetailsPage(*b, r)) return;
    setMode(RightPaneMode::ListAndHeader);
    const bool hideHeader = s.kind == item_kind::kNote;
    state_.previewFilePath = app::makeTempFileName(state_.tempFolder);

    // The record read again gives the copy recipients, the times and the attachments.
    const std::shared_ptr<MessageRecord> record = loadItemRecord(*b, r);
    const std::string body = itemBody(*b, s);
    const QString html = s.bodyFormat == 3 ? QString() : qs(body);
    PreviewHeader header{
        qs(s.fromText), qs(s.toText), qs(s.subjectText), {}, {}, {}, {}, {}, {}, {}};
    if (const DamagedItem* d = findDamage(b->damagedItems, r))
        header.damagedParts = qs(partNames(d->parts));
    if (record) {
        const MessageEnvelope& env = record->envelope;
        if (env.displayCc) header.cc = qs(env.displayCc->c_str());
        const std::uint64_t sent = env.clientSubmitTime.value_or(0);
        const std::uint64_t received = env.deliveryTime.value_or(0);
        header.sent = localeDateTime(sent ? sent : received);
        if (sent && received && received != sent) header.received = localeDateTime(received);
        fillAttachments(header, *b, r, record, html);
    } else {
        for (const std::string& name : s.attachmentNames)
            header.attachments << AttachmentEntry{qs(name), false};
    }
    if (s.bodyFormat == 3) {
        preview_->fillHeader(header, hideHeader, qs(body));
    } else {
        const QString path = qs(state_.previewFilePath);
        QFile file(path);
        // A file that cannot be written leaves the viewer empty, as a missing body does.
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            file.write(body.data(), static_cast<qint64>(body.size()));
            file.close();
        }
        preview_->fillHeader(header, hideHeader, std::nullopt);
        preview_->browser()->showFile(path, [b, record](const QString& id) {
            if (!record) return QByteArray();
            const AttachmentRecord* a = findByContentId(*record, id.toStdString());
            if (!a) return QByteArray();
            return bytesOf(attachmentData(*b, *a));
        });
        preview_->setRemoteNotice(SafeBrowser::namesRemotePictures(html));
    }
    app::cleanTempFolder(state_.tempFolder, true, false, state_.previewFilePath);
}

bool RightPane::showDetailsPage(RecoveredBase& b, std::uint32_t r) {
    const ItemSummary& s = b.itemSummaries[r];
    const ItemDetails details = readItemDetails(b, NamedIds(b), r, s.type);
    const std::string page = itemDetailsPage(s, details);
    if (page.empty()) return false;
    setMode(RightPaneMode::ListAndPreview);
    preview_->setRemoteNotice(false);  // our own page loads nothing, whatever the last item did
    state_.previewFilePath = app::makeTempFileName(state_.tempFolder);
    const QString path = qs(state_.previewFilePath);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(page.data(), static_cast<qint64>(page.size()));
        file.close();
    }
    QByteArray picture;
    if (details.contact)
        picture = QByteArray(reinterpret_cast<const char*>(details.contact->picture.data()),
                             static_cast<qsizetype>(details.contact->picture.size()));
    preview_->browser()->showFile(path, [picture](const QString& id) {
        return id == QLatin1String(kContactPictureId) ? picture : QByteArray();
    });
    app::cleanTempFolder(state_.tempFolder, true, false, state_.previewFilePath);
    return true;
}

void RightPane::fillAttachments(PreviewHeader& header, RecoveredBase& b, std::uint32_t item,
                                const std::shared_ptr<MessageRecord>& record, const QString& html) {
    std::vector<const AttachmentRecord*> inlineShown;
    for (const QString& id : SafeBrowser::namedContentIds(html))
        if (const AttachmentRecord* a = findByContentId(*record, id.toStdString()))
            inlineShown.push_back(a);
    const auto& all = record->attachments;
    const QList<int> listed = listedAttachments(static_cast<int>(all.size()), [&](int k) {
        return std::find(inlineShown.begin(), inlineShown.end(),
                         &all[static_cast<std::size_t>(k)]) != inlineShown.end();
    });
    // The k-th attached message counts attached messages only: that is how they are read again.
    QList<int> messageOrdinal;
    int messages = 0;
    for (const AttachmentRecord& a : all)
        messageOrdinal << (a.method == kAttachEmbeddedMessage ? messages++ : -1);
    for (int k : listed) {
        const AttachmentRecord& a = all[static_cast<std::size_t>(k)];
        header.attachments << AttachmentEntry{qs(attachmentName(a)),
                                              a.method == kAttachEmbeddedMessage};
    }
    // Read when asked, and only while the base is as it was: a recovery may reset it.
    app::AppState* state = &state_;
    const std::int32_t baseIndex = state_.selectedBase;
    auto usable = [state, baseIndex, &b]() -> RecoveredBase* {
        RecoveredBase* now = state->base(baseIndex);
        const bool recovering = state->busy && state->taskCode == app::TaskCode::Recover &&
                                state->taskBase == baseIndex;
        return now == &b && now->openMode && !recovering ? now : nullptr;
    };
    header.attachmentData = [usable, record, listed, messageOrdinal, item](int k) {
        RecoveredBase* base = usable();
        if (!base || k < 0 || k >= listed.size()) return QByteArray();
        const int at = listed[k];
        if (messageOrdinal[at] >= 0) {
            const auto attached = app::attachedMessage(*base, item, messageOrdinal[at]);
            return attached ? bytesOf(attached->data) : QByteArray();
        }
        return bytesOf(attachmentData(*base, record->attachments[static_cast<std::size_t>(at)]));
    };
    header.openMessage = [this, usable, listed, messageOrdinal, item](int k) {
        RecoveredBase* base = usable();
        if (!base || k < 0 || k >= listed.size() || messageOrdinal[listed[k]] < 0) return;
        const auto attached = app::attachedMessage(*base, item, messageOrdinal[listed[k]]);
        if (!attached || !attached->message) {
            platform::Prompter::current().warn(this, tr("The attached message cannot be read."));
            return;
        }
        auto* viewer =
            new MessageWindow(attached->message, openFolder(), qs(state_.saveFolder), window());
        viewer->show();
        Q_EMIT messageWindowOpened(viewer);
    };
}

QString RightPane::openFolder() const {
    return qs(state_.tempFolder + "/" + app::kOpenedFolder);
}

std::vector<std::uint32_t> RightPane::selectedItems() const {
    return mode_ == RightPaneMode::ListAndHeader || mode_ == RightPaneMode::ListAndPreview
               ? list_->selectedItems()
               : std::vector<std::uint32_t>{};
}
QWidget* RightPane::listWidget() const {
    return list_->view();
}
QWidget* RightPane::previewWidget() const {
    return preview_;
}

}  // namespace brevik::views
