#include "writers/files/save_files.h"

#include <functional>
#include <unordered_map>
#include <unordered_set>

#include "engine/native_files.h"
#include "message/item_summary.h"
#include "message/load_message.h"
#include "message/named_ids.h"
#include "message/records.h"
#include "recovery/folder_tree.h"
#ifdef BREVIK_HAVE_GMIME
#include "writers/eml/eml_writer.h"
#include "writers/mbox/mbox_writer.h"
#endif
#include "writers/files/item_fields.h"
#include "writers/files/output_names.h"
#include "writers/files/save_cards.h"
#include "writers/files/staged_file.h"
#ifdef BREVIK_HAVE_ICAL
#include "writers/ics/meeting_calendar.h"
#endif
#ifdef BREVIK_HAVE_GSF
#include "writers/msg/msg_writer.h"
#endif
#include "writers/pst/atomic_output.h"
#include "writers/pst/ordered_prefetch.h"
#include "writers/pst/recovered_store.h"
#include "writers/pst/save_task.h"

namespace brevik::files {
namespace {

using pst::WriteStatus;

const char* formatName(FileFormat f) {
    switch (f) {
        case FileFormat::Msg:
            return "msg";
        case FileFormat::Eml:
            return "eml";
        case FileFormat::Mbox:
            return "mbox";
        case FileFormat::Vcf:
            return "vcf";
        case FileFormat::Ics:
            return "ics";
    }
    return "";
}

// Items that travel as mail: messages, reports and meeting or task requests.
bool isMailKind(std::uint8_t kind) {
    return kind == item_kind::kMessage || kind == item_kind::kReport ||
           kind == item_kind::kMeetingRequest || kind == item_kind::kTaskRequest;
}

// One folder of the output: its path and the names taken in it.
struct OutFolder {
    std::string path;
    NameSet names;
};

class FileSaver {
  public:
    FileSaver(RecoveredBase& base, FileFormat format, const std::atomic<bool>& stop,
              std::function<void(int)> progress, FileSaveResult& result)
        : base_(base),
          format_(format),
          stop_(stop),
          progress_(std::move(progress)),
          result_(result),
          names_(pst::recoveredNames(base)),
          threads_(base.passThreads) {}

    WriteStatus run(const std::string& root, const std::vector<std::uint32_t>* selected) {
        wanted_ = savedItems(base_, selected, result_.skippedSelections);
        const auto itemCount = static_cast<std::uint32_t>(wanted_.size());
        for (std::uint32_t i = 0; i < itemCount; ++i)
            if (wanted_[i] && format_ != FileFormat::Msg &&
                !isMailKind(base_.itemSummaries[i].kind)) {
                wanted_[i] = false;
                ++result_.notMail;
            }
        for (bool w : wanted_)
            total_ += w;
        written_.assign(itemCount, false);

        // Folders in pre-order from the top; with a selection, only those that lead to a
        // selected item are made.
        std::vector<FolderTreeNode*> order;
        std::unordered_set<const FolderTreeNode*> needed;
        if (base_.topNode) {
            order = pst::folderPreorder(base_.topNode);
            needed = pst::foldersLeadingTo(base_, order, wanted_, selected == nullptr);
        }
        pst::OrderedPrefetch<Prepared> prefetch(
            pst::writeSequence(base_, order, needed, wanted_), threads_,
            [this](std::uint32_t i) { return prepare(i); },
            [](const Prepared& p) { return p.bytes.size() + p.subject.size(); },
            std::bind_front(loadWithItemsAhead, std::ref(base_)));
        prefetch_ = &prefetch;

        OutFolder top{root, {}};
        if (base_.topNode) {
            WriteStatus status = writeTree(top, order, needed);
            if (!status.ok()) return status;
        }
        // Items that no folder of the tree holds.
        OutFolder lost;
        for (std::uint32_t i = 0; i < itemCount; ++i) {
            if (!wanted_[i] || written_[i]) continue;
            if (lost.path.empty()) {
                WriteStatus status = openFolder(top, "Lost and Found", lost);
                if (!status.ok()) return status;
            }
            WriteStatus status = writeItem(lost, i);
            if (!status.ok()) return status;
        }
        return finishMbox();
    }

  private:
    // The top's own items go to the output folder itself.
    WriteStatus writeTree(OutFolder& top, const std::vector<FolderTreeNode*>& order,
                          const std::unordered_set<const FolderTreeNode*>& needed) {
        std::unordered_map<const FolderTreeNode*, std::unique_ptr<OutFolder>> folders;
        for (const FolderTreeNode* n : order) {
            if (!needed.count(n)) continue;
            OutFolder* out = &top;
            if (n != base_.topNode) {
                const auto parentIt = folders.find(n->parent);
                OutFolder& parent = parentIt == folders.end() ? top : *parentIt->second;
                auto made = std::make_unique<OutFolder>();
                std::string name = safeName(folderName(base_, n->folderIndex));
                WriteStatus status = openFolder(parent, name.empty() ? "Folder" : name, *made);
                if (!status.ok()) return status;
                out = made.get();
                folders.emplace(n, std::move(made));
            } else if (format_ == FileFormat::Mbox) {
                // The top folder's own items go to a file named after it; its subfolders sit
                // beside that file.
                const std::string name = safeName(folderName(base_, n->folderIndex));
                WriteStatus status =
                    startMbox(top, top.names.claim(name.empty() ? "Top" : name, ""));
                if (!status.ok()) return status;
            }
            const auto [first, end] = itemRange(n);
            for (std::uint32_t i = first; i < end; ++i)
                if (wanted_[i] && !written_[i]) {
                    WriteStatus status = writeItem(*out, i);
                    if (!status.ok()) return status;
                }
        }
        return {};
    }

    std::pair<std::uint32_t, std::uint32_t> itemRange(const FolderTreeNode* n) const {
        return pst::folderItemRange(base_, n, static_cast<std::uint32_t>(wanted_.size()));
    }

    // A subfolder `name` of `parent`. For mbox, the folder's messages go to a file `name` in
    // `parent` and its subfolders to the folder "name.sbd", as mail programs keep them.
    WriteStatus openFolder(OutFolder& parent, const std::string& name, OutFolder& out) {
        if (format_ == FileFormat::Mbox) {
            WriteStatus status = finishMbox();
            if (!status.ok()) return status;
            const std::string file = parent.names.claim(name, "");
            parent.names.claim(file + ".sbd", "");
            // The folder for subfolders is made when the first subfolder needs it.
            out.path = parent.path + "/" + file + ".sbd";
            status = startMbox(parent, file);
            return status;
        }
        out.path = parent.path + "/" + parent.names.claim(name, "");
        return ensureFolder(out.path);
    }

    static WriteStatus ensureFolder(const std::string& path) {
        if (native::fileKind(path) == native::FileKind::Folder) return {};
        const native::IoError e = native::makeFolder(path);
        if (!e.failed() || native::fileKind(path) == native::FileKind::Folder) return {};
        return WriteStatus::failure(pst::WriteError::CannotCreate,
                                    "cannot create the folder " + path + ": " + e.text);
    }

    WriteStatus startMbox(OutFolder& parent, const std::string& file) {
        WriteStatus status = ensureFolder(parent.path);
        if (!status.ok()) return status;
        mboxName_ = file;
        return mbox_.open(parent.path);
    }

    WriteStatus finishMbox() {
        if (!mbox_.isOpen()) return {};
        return mbox_.commit(mboxName_);
    }

    WriteStatus writeItem(OutFolder& folder, std::uint32_t i) {
        written_[i] = true;
        if (stop_.load(std::memory_order_relaxed))
            return WriteStatus::failure(pst::WriteError::Stopped, "Canceled by user");
        const Prepared& item = prefetch_->next(i);
        if (!item.readable) {
            ++result_.unreadableItems;
        } else {
            WriteStatus status;
            const std::uint32_t number = base_.itemSummaries[i].number;
            switch (format_) {
                case FileFormat::Eml:
                case FileFormat::Msg:
                    status = writeStaged(
                        folder.path,
                        folder.names.claim(itemFileStem(number, item.subject),
                                           format_ == FileFormat::Eml ? ".eml" : ".msg"),
                        item.bytes);
                    break;
                case FileFormat::Mbox:
                    status = mbox_.write(item.bytes);
                    break;
                case FileFormat::Vcf:
                case FileFormat::Ics:
                    break;  // saveCardFiles writes these
            }
            if (!status.ok()) return status;
            ++result_.items;
        }
        const int percent = static_cast<int>(++done_ * 100 / std::max<std::uint64_t>(total_, 1));
        if (progress_ && percent != lastPercent_) progress_(percent);
        lastPercent_ = percent;
        return {};
    }

    // An item turned into its output, on a worker thread ahead of the writer.
    struct Prepared {
        bool readable = false;
        std::string subject;  // for the file name
        std::string bytes;    // the file, or the mbox entry
    };
    Prepared prepare(std::uint32_t i) const {
        Prepared p;
        const auto item = pst::recoveredItem(base_, i, names_);
        if (!item) return p;
        p.readable = true;
        p.subject = ItemFields(item->properties).subject();
        switch (format_) {
#ifdef BREVIK_HAVE_GMIME
            case FileFormat::Eml: {
                eml::EmlOptions options;
                options.calendar = meetingCalendar(i);
                p.bytes = eml::writeEml(*item, options);
                break;
            }
            case FileFormat::Mbox:
                p.bytes = mbox::mboxEntry(*item, meetingCalendar(i));
                break;
#endif
#ifdef BREVIK_HAVE_GSF
            case FileFormat::Msg: {
                const Bytes bytes = msg::writeMsg(*item, names_.table);
                p.bytes.assign(bytes.begin(), bytes.end());
                break;
            }
#endif
            default:  // vcf and ics: saveCardFiles; formats this build lacks: refused before
                break;
        }
        return p;
    }

    // The text/calendar part of meeting mail; mail goes without it in a build without ics.
    std::string meetingCalendar([[maybe_unused]] std::uint32_t i) const {
#ifdef BREVIK_HAVE_ICAL
        return ics::meetingCalendarOf(base_, namedIds_, i);
#else
        return {};
#endif
    }

    RecoveredBase& base_;
    FileFormat format_;
    const std::atomic<bool>& stop_;
    std::function<void(int)> progress_;
    FileSaveResult& result_;
    const pst::RecoveredNames names_;
    const NamedIds namedIds_{base_};
    const unsigned threads_;                              // the writer's own included
    pst::OrderedPrefetch<Prepared>* prefetch_ = nullptr;  // while run() runs
    std::vector<bool> wanted_;
    std::vector<bool> written_;
    std::uint64_t total_ = 0;
    std::uint64_t done_ = 0;
    int lastPercent_ = -1;
    StagedFile mbox_;
    std::string mboxName_;
};

}  // namespace

std::vector<bool> savedItems(const RecoveredBase& base, const std::vector<std::uint32_t>* selected,
                             std::uint64_t& skippedSelections) {
    const std::uint32_t itemCount = std::min<std::uint32_t>(
        base.itemCount, static_cast<std::uint32_t>(
                            std::min(base.messageEntries.size(), base.itemSummaries.size())));
    std::vector<bool> wanted(itemCount, false);
    if (selected) {
        for (std::uint32_t i : *selected)
            if (i < itemCount)
                wanted[i] = true;
            else
                ++skippedSelections;
    } else {
        for (std::uint32_t i = 0; i < itemCount; ++i)
            wanted[i] = base.itemSummaries[i].hiddenCode != item_kind::kSystem &&
                        !base.messageEntries[i].loadFailed;
    }
    return wanted;
}

std::string recoveredFolderName(const std::string& fileName, FileFormat format) {
    return "Recovered_" + pst::saveBaseName(fileName) + "_as_" + formatName(format) + "_by_Brevik";
}

bool formatAvailable(FileFormat format) {
    switch (format) {
        case FileFormat::Eml:
        case FileFormat::Mbox:
#ifdef BREVIK_HAVE_GMIME
            return true;
#else
            return false;
#endif
        case FileFormat::Msg:
#ifdef BREVIK_HAVE_GSF
            return true;
#else
            return false;
#endif
        case FileFormat::Ics:
#ifdef BREVIK_HAVE_ICAL
            return true;
#else
            return false;
#endif
        case FileFormat::Vcf:
            return true;
    }
    return false;
}

FileSaveResult saveFiles(RecoveredBase& base, FileFormat format, const std::string& destFolder,
                         const std::vector<std::uint32_t>* selectedItems,
                         const std::atomic<bool>& stop, std::function<void(int)> progress) {
    FileSaveResult result;
    auto fail = [&](const WriteStatus& status) {
        result.canceled = status.error == pst::WriteError::Stopped;
        result.message = status.message;
        return result;
    };
    if (!formatAvailable(format))
        return fail(WriteStatus::failure(
            pst::WriteError::BadInput,
            std::string(".") + formatName(format) + " files cannot be written by this build"));
    if (!base.rootNode && !base.topNode && base.itemCount == 0)
        return fail(WriteStatus::failure(pst::WriteError::BadInput,
                                         "nothing has been recovered from " + base.fileName));
    WriteStatus status = pst::prepareFolder(destFolder);
    if (!status.ok()) return fail(status);
    const std::string name = safeName(recoveredFolderName(base.fileName, format), 200);
    status = makeFreshFolder(destFolder, name.empty() ? "Recovered" : name, result.outputPath);
    if (!status.ok()) return fail(status);
    if (progress) progress(0);
    if (format == FileFormat::Vcf || format == FileFormat::Ics) {
        saveCardFiles(base, format, result.outputPath, selectedItems, stop, progress, result);
        if (result.ok && progress) progress(100);
        return result;
    }
    FileSaver saver(base, format, stop, progress, result);
    status = saver.run(result.outputPath, selectedItems);
    if (!status.ok()) return fail(status);
    if (progress) progress(100);
    result.ok = true;
    return result;
}

}  // namespace brevik::files
