// Synthetic .pst files of any size, the same for the same seed: folders, mail with text and
// HTML bodies, recipients and attachments, contacts and notes, and on request deleted and
// orphaned items. Used as the built-in sample, as test fixtures and for benchmarks.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "writers/pst/store_model.h"
#include "writers/pst/store_writer.h"
#include "writers/pst/write_status.h"

namespace brevik::pst {

struct SampleOptions {
    std::uint64_t items = 10;  // live items in the folders
    std::uint64_t deleted = 0;
    std::uint64_t orphans = 0;
    std::uint64_t seed = 1;
    bool permute = true;
    bool cyclic = false;  // overrides `permute`
    // Mail and a folder name carrying terminal escapes, line breaks in message ids and MIME
    // types, and bidirectional overrides: what a hostile file holds, for tests and fuzzing.
    bool hostileTexts = false;
    bool pages4k = false;  // the offline layout: 4 KiB pages, deflated blocks, no encoding
    std::uint64_t maxFileBytes = 0;
    std::string tempFolder;  // working file; empty: beside the destination
    const std::atomic<bool>* stop = nullptr;
    std::function<void(int)> progress;  // 0..100
};

enum class SampleFolder : std::uint8_t { Inbox, Projects, Archive, SentItems, Contacts, Notes };
enum class SamplePlacement : std::uint8_t { Live, Deleted, Orphan };

struct SampleItem {
    SampleFolder folder = SampleFolder::Inbox;
    SamplePlacement placement = SamplePlacement::Live;
    Item item;
};

class SampleGenerator {
  public:
    explicit SampleGenerator(const SampleOptions& options);

    // Inbox (with Projects, and Archive below it), Sent Items, Contacts and Notes.
    static Folder folderLayout();
    // The named properties the items use: model ids 0x8000 + index.
    static const std::vector<NamedProperty>& namedProperties();

    std::uint64_t total() const { return total_; }
    bool done() const { return produced_ >= total_; }
    // The next item: the live ones first, then the deleted, then the orphaned.
    SampleItem next();

  private:
    SampleItem nextItem();
    Item mail(std::uint64_t n, bool deep);
    Item contact(std::uint64_t n);
    Item note(std::uint64_t n);
    std::uint64_t random();

    SampleOptions options_;
    std::uint64_t total_;
    std::uint64_t produced_ = 0;
    std::uint64_t state_;
};

// Writes a sample file to `path` (atomically). `stats` receives the writer's counts.
WriteStatus generateSamplePst(const std::string& path, const SampleOptions& options,
                              PstWriteStats* stats = nullptr);

// The text of a UTF-16LE property of `item`, or "" (for tests and listings).
std::string sampleText(const PropertyList& props, std::uint16_t id);

}  // namespace brevik::pst
