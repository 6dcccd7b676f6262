// Runs the peer readers (pffexport, readpst) and reads back what they exported, so that tests
// can check that every item a peer finds is found by our pass too.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "recovery/recovered_base.h"

namespace brevik::test {

// A fresh directory below the system temporary folder, removed with everything in it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// True when `program` is an executable on PATH.
bool haveTool(const std::string& program);
// Runs `argv` with stdin closed and stdout and stderr appended to `logFile`; returns the exit
// status, or -1 when the program could not be started or died of a signal.
int runTool(const std::vector<std::string>& argv, const std::filesystem::path& logFile);

enum class PeerKind { Mail, Contact, Note };

// One item as a peer exported it. Absent fields are empty and are not compared.
struct PeerItem {
    std::string where;  // path below the peer's output
    PeerKind kind = PeerKind::Mail;
    bool recovered = false;             // deleted or orphaned in the peer's eyes
    std::optional<std::uint32_t> node;  // node id, when the peer logs it
    std::optional<std::string> subject;
    std::vector<std::string> names;          // sender, or the contact's names, and addresses
    std::vector<std::string> facts;          // contact details that must all be ours too
    std::vector<std::uint64_t> times;        // FILETIMEs
    std::uint64_t timeTolerance = 0;         // ticks either side
    std::optional<std::size_t> attachments;  // attachments exported, when the peer shows them
};

// One of our items with everything the matching may compare.
struct OurItem {
    std::uint32_t index = 0;
    std::uint32_t nodeId = 0;
    std::uint8_t kind = 0;
    bool deleted = false;
    bool listed = true;  // false for hidden system items and items that failed to load
    std::string subject;
    std::vector<std::string> names;
    std::vector<std::string> facts;
    std::vector<std::uint64_t> times;
    std::size_t attachments = 0;
};

// Items of `pffexport -m all -l <log> -t <target>`: <target>.export, .recovered and .orphans.
std::vector<PeerItem> readPffExport(const std::filesystem::path& target,
                                    const std::filesystem::path& logFile);
// Items of `readpst -S -o <dir>`: one file per item, RFC 822 mail or vCard.
std::vector<PeerItem> readReadpstOutput(const std::filesystem::path& dir);

// Every item of a recovered base, each loaded once more for its times and names.
std::vector<OurItem> describeOurItems(RecoveredBase& base);

// 0 when `ours` cannot be the peer's item; otherwise higher for closer matches (agreeing times,
// the same deleted state, the same node id).
int matchScore(const PeerItem& peer, const OurItem& ours);
// For each peer item, the position in `ours` of the item it was matched to, or -1. Each of our
// items takes at most one peer item; the best-scoring pairs are taken first.
std::vector<int> matchItems(const std::vector<PeerItem>& peers, const std::vector<OurItem>& ours);

// Helpers the readers use, exposed for tests.
std::string decodeHeaderWords(const std::string& value);               // RFC 2047 words to UTF-8
std::optional<std::uint64_t> parseMailDate(const std::string& value);  // RFC 5322 date
std::optional<std::uint64_t> parsePffTime(
    const std::string& value);  // "Mar 15, 2010 17:12:05.9 UTC"

}  // namespace brevik::test
