#include "support/peer_tools.h"

#ifndef _WIN32  // the peers are Linux programs: a Windows build never runs them
#include <fcntl.h>
#include <iconv.h>
#include <sys/wait.h>
#include <unistd.h>
#else
#include <windows.h>
#endif

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <tuple>

#include "message/item_summary.h"
#include "message/load_message.h"
#include "message/records.h"

namespace brevik::test {
namespace fs = std::filesystem;
namespace {

constexpr std::uint64_t kTicksPerSecond = 10000000;
constexpr std::int64_t kUnixEpochSeconds = 11644473600;  // 1601-01-01 to 1970-01-01

std::string readText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(line);
    }
    return out;
}

std::string trim(std::string s) {
    const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    while (!s.empty() && blank(s.back()))
        s.pop_back();
    std::size_t i = 0;
    while (i < s.size() && blank(s[i]))
        ++i;
    return s.substr(i);
}

// Case-folded ASCII, control characters as blanks, runs of blanks as one.
std::string normalize(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c < 0x20 || std::isspace(c)) {
            if (!out.empty() && out.back() != ' ') out.push_back(' ');
        } else {
            out.push_back(static_cast<char>(std::tolower(c)));
        }
    }
    return trim(out);
}

// The words of a name, sorted: "Razzaq, Saqib" and "Saqib Razzaq" agree.
std::vector<std::string> words(const std::string& s) {
    std::vector<std::string> out;
    std::string w;
    for (unsigned char c : s + " ") {
        if (std::isalnum(c) || c >= 0x80) {
            w.push_back(static_cast<char>(std::tolower(c)));
        } else if (!w.empty()) {
            out.push_back(w);
            w.clear();
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

bool sameName(const std::string& a, const std::string& b) {
    if (normalize(a).empty() || normalize(b).empty()) return false;
    return normalize(a) == normalize(b) || words(a) == words(b);
}

std::string digitsOf(const std::string& s) {
    std::string d;
    for (char c : s)
        if (std::isdigit(static_cast<unsigned char>(c))) d.push_back(c);
    return d;
}

std::uint64_t civilToFiletime(int y, unsigned m, unsigned d, int hh, int mm, int ss) {
    // Days from 1970-01-01 (H. Hinnant's days_from_civil).
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const std::int64_t days = std::int64_t{era} * 146097 + doe - 719468;
    const std::int64_t secs = days * 86400 + hh * 3600 + mm * 60 + ss + kUnixEpochSeconds;
    return secs < 0 ? 0 : static_cast<std::uint64_t>(secs) * kTicksPerSecond;
}

int monthNumber(const std::string& name) {
    static const std::array<const char*, 12> kMonths = {"jan", "feb", "mar", "apr", "may", "jun",
                                                        "jul", "aug", "sep", "oct", "nov", "dec"};
    const std::string n = normalize(name).substr(0, 3);
    for (int i = 0; i < 12; ++i)
        if (n == kMonths[i]) return i + 1;
    return 0;
}

std::string toUtf8(const std::string& bytes, const std::string& charset) {
    const std::string cs = normalize(charset);
    if (cs == "utf-8" || cs == "us-ascii" || cs.empty()) return bytes;
#ifdef _WIN32
    return bytes;
#else
    iconv_t cd = iconv_open("UTF-8", charset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return bytes;
    std::string in = bytes, out(bytes.size() * 4 + 8, '\0');
    char* ip = in.data();
    char* op = out.data();
    std::size_t il = in.size(), ol = out.size();
    const bool ok = iconv(cd, &ip, &il, &op, &ol) != static_cast<std::size_t>(-1);
    iconv_close(cd);
    return ok ? out.substr(0, out.size() - ol) : bytes;
#endif
}

std::string decodeBase64(const std::string& s) {
    std::string out;
    std::uint32_t acc = 0;
    int bits = 0;
    for (unsigned char c : s) {
        int v;
        if (c >= 'A' && c <= 'Z')
            v = c - 'A';
        else if (c >= 'a' && c <= 'z')
            v = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            v = c - '0' + 52;
        else if (c == '+')
            v = 62;
        else if (c == '/')
            v = 63;
        else
            continue;
        acc = (acc << 6) | static_cast<std::uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((acc >> bits) & 0xFF));
        }
    }
    return out;
}

std::string decodeQ(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '_') {
            out.push_back(' ');
        } else if (s[i] == '=' && i + 2 < s.size() && std::isxdigit(s[i + 1]) &&
                   std::isxdigit(s[i + 2])) {
            out.push_back(static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

// Splits a From value into display name and address.
std::vector<std::string> mailboxNames(const std::string& value) {
    std::vector<std::string> out;
    std::string v = trim(decodeHeaderWords(value));
    const auto lt = v.rfind('<');
    const auto gt = v.rfind('>');
    if (lt != std::string::npos && gt != std::string::npos && gt > lt) {
        std::string name = trim(v.substr(0, lt));
        if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
            name = name.substr(1, name.size() - 2);
        if (!name.empty()) out.push_back(name);
        out.push_back(v.substr(lt + 1, gt - lt - 1));
    } else if (!v.empty()) {
        out.push_back(v);
    }
    return out;
}

std::string unescapeVcard(std::string s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            ++i;
            out.push_back(s[i] == 'n' ? ' ' : s[i]);
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

PeerItem readVcard(const std::string& text) {
    PeerItem item;
    item.kind = PeerKind::Contact;
    for (const std::string& line : lines(text)) {
        const auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        const std::string key = line.substr(0, line.find_first_of(";:"));
        const std::string value = unescapeVcard(line.substr(colon + 1));
        if (key == "FN" && value != "(null)" && !trim(value).empty()) {
            item.names.push_back(value);
        } else if (key == "N") {
            // Family;Given;Middle;Prefix;Suffix
            std::string joined;
            std::istringstream parts(line.substr(colon + 1));
            for (std::string part; std::getline(parts, part, ';');)
                joined += unescapeVcard(part) + " ";
            if (!trim(joined).empty()) item.names.push_back(trim(joined));
        } else if (key == "ORG" || key == "TITLE" || key == "EMAIL" || key == "TEL") {
            if (!trim(value).empty()) item.facts.push_back(trim(value));
        }
    }
    return item;
}

PeerItem readRfc822(const std::string& text) {
    PeerItem item;
    item.kind = PeerKind::Mail;
    item.timeTolerance = kTicksPerSecond;  // the Date header keeps whole seconds
    std::vector<std::string> headers;
    for (const std::string& line : lines(text)) {
        if (line.empty()) break;
        if ((line[0] == ' ' || line[0] == '\t') && !headers.empty())
            headers.back() += " " + trim(line);
        else
            headers.push_back(line);
    }
    for (const std::string& h : headers) {
        const auto colon = h.find(':');
        if (colon == std::string::npos) continue;
        const std::string key = normalize(h.substr(0, colon));
        const std::string value = trim(h.substr(colon + 1));
        if (key == "subject" && !item.subject) item.subject = decodeHeaderWords(value);
        if (key == "from" && item.names.empty()) item.names = mailboxNames(value);
        if (key == "date" && item.times.empty())
            if (auto t = parseMailDate(value)) item.times.push_back(*t);
    }
    if (!item.subject) item.subject = "";
    return item;
}

// "Key:<tabs>Value" lines of pffexport's item files.
std::map<std::string, std::string> pffFields(const fs::path& dir) {
    std::map<std::string, std::string> out;
    for (const char* name : {"OutlookHeaders.txt", "Contact.txt", "Note.txt"}) {
        if (!fs::exists(dir / name)) continue;
        for (const std::string& line : lines(readText(dir / name))) {
            const auto colon = line.find(":\t");
            if (colon == std::string::npos) continue;
            out.emplace(line.substr(0, colon), trim(line.substr(colon + 1)));
        }
    }
    return out;
}

// Item directory of the log's "Created directory" line after each "Processing" line, with
// the node id the line names.
std::map<std::string, std::uint32_t> pffNodeIds(const fs::path& logFile) {
    static const std::regex kProcessing(R"(^Processing .*\(identifier: (\d+)\) in path: )");
    static const std::regex kCreated(R"(^Created directory: (.*)\.$)");
    std::map<std::string, std::uint32_t> out;
    std::optional<std::uint32_t> pending;
    for (const std::string& line : lines(readText(logFile))) {
        std::smatch m;
        if (std::regex_search(line, m, kProcessing)) {
            pending = static_cast<std::uint32_t>(std::stoul(m[1]));
        } else if (pending && std::regex_search(line, m, kCreated)) {
            out[fs::path(m[1].str()).lexically_normal().string()] = *pending;
            pending.reset();
        }
    }
    return out;
}

}  // namespace

#ifdef _WIN32
TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    for (;;) {
        path_ =
            fs::temp_directory_path() / ("brevik-peers-" + std::to_string(::GetCurrentProcessId()) +
                                         "-" + std::to_string(counter++));
        if (fs::create_directory(path_)) return;
    }
}
#else
TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "brevik-peers-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw fs::filesystem_error("mkdtemp", {});
    path_ = pattern;
}
#endif

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

#ifdef _WIN32
bool haveTool(const std::string&) {
    return false;
}

int runTool(const std::vector<std::string>&, const fs::path&) {
    return -1;
}
#else
bool haveTool(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "");
    for (std::string dir; std::getline(dirs, dir, ':');)
        if (!dir.empty() && ::access((fs::path(dir) / program).c_str(), X_OK) == 0) return true;
    return false;
}

int runTool(const std::vector<std::string>& argv, const fs::path& logFile) {
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (in < 0 || out < 0) ::_exit(127);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(out, 2);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}
#endif

std::vector<PeerItem> readPffExport(const fs::path& target, const fs::path& logFile) {
    static const std::regex kItemDir(R"(^(Message|Contact|Note)\d{5}$)");
    const auto nodeIds = pffNodeIds(logFile);
    std::vector<PeerItem> out;
    for (const char* suffix : {".export", ".recovered", ".orphans"}) {
        const fs::path root = target.string() + suffix;
        if (!fs::is_directory(root)) continue;
        std::vector<fs::path> dirs;
        for (auto it = fs::recursive_directory_iterator(root); it != fs::end(it); ++it) {
            if (!it->is_directory()) continue;
            const std::string name = it->path().filename().string();
            // Embedded messages live below an item's Attachments folder: not items.
            if (name == "Attachments") {
                it.disable_recursion_pending();
                continue;
            }
            if (std::regex_match(name, kItemDir)) dirs.push_back(it->path());
        }
        std::sort(dirs.begin(), dirs.end());
        for (const fs::path& dir : dirs) {
            const auto f = pffFields(dir);
            const auto field = [&](const char* key) -> std::string {
                auto it = f.find(key);
                return it == f.end() ? std::string() : it->second;
            };
            PeerItem item;
            const std::string name = dir.filename().string();
            item.kind = name.starts_with("Contact") ? PeerKind::Contact
                        : name.starts_with("Note")  ? PeerKind::Note
                                                    : PeerKind::Mail;
            item.where = fs::relative(dir, target.parent_path()).string();
            item.recovered = std::string(suffix) != ".export";
            if (auto id = nodeIds.find(dir.lexically_normal().string()); id != nodeIds.end())
                item.node = id->second;
            if (f.count("Subject"))
                item.subject = field("Subject");
            else if (f.count("Conversation topic"))
                item.subject = field("Conversation topic");
            for (const char* key : {"Display name", "Sent representing name", "Sender name",
                                    "Sent representing email address", "Sender email address"})
                if (!field(key).empty()) item.names.push_back(field(key));
            if (item.kind == PeerKind::Contact && !field("Given name").empty())
                item.names.push_back(field("Given name") + " " + field("Surname"));
            if (item.kind == PeerKind::Contact) item.subject.reset();
            for (const char* key :
                 {"Client submit time", "Delivery time", "Creation time", "Modification time"})
                if (auto t = parsePffTime(field(key)); t && *t != 0) item.times.push_back(*t);
            item.timeTolerance = kTicksPerSecond / 1000;
            if (fs::is_directory(dir / "Attachments")) {
                const auto entries = fs::directory_iterator(dir / "Attachments");
                item.attachments =
                    static_cast<std::size_t>(std::distance(fs::begin(entries), fs::end(entries)));
            } else {
                item.attachments = 0;
            }
            out.push_back(std::move(item));
        }
    }
    return out;
}

std::vector<PeerItem> readReadpstOutput(const fs::path& dir) {
    static const std::regex kItemFile(R"(^\d+$)");
    std::vector<fs::path> files;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file() && std::regex_match(e.path().filename().string(), kItemFile))
            files.push_back(e.path());
    std::sort(files.begin(), files.end());
    std::vector<PeerItem> out;
    for (const fs::path& file : files) {
        const std::string text = readText(file);
        if (text.starts_with("BEGIN:VCALENDAR")) continue;  // calendar items are not compared
        PeerItem item = text.starts_with("BEGIN:VCARD") ? readVcard(text) : readRfc822(text);
        item.where = fs::relative(file, dir).string();
        out.push_back(std::move(item));
    }
    return out;
}

std::vector<OurItem> describeOurItems(RecoveredBase& base) {
    std::vector<OurItem> out;
    for (std::uint32_t i = 0; i < base.itemCount; ++i) {
        const ItemSummary& s = base.itemSummaries[i];
        OurItem o;
        o.index = i;
        o.nodeId = base.messageEntries[i].nodeId;
        o.kind = s.kind;
        o.deleted = s.deletedMark != 0;
        o.listed = base.messageEntries[i].loadFailed == 0 && s.hiddenCode != 201;
        o.subject = s.subjectText;
        o.attachments = s.attachmentNames.size();
        if (!s.fromText.empty()) o.names.push_back(s.fromText);
        if (s.utcTime != 0) o.times.push_back(s.utcTime);
        if (base.messageEntries[i].loadFailed == 0 && loadMessage(base, i) != -1 &&
            base.messageEntries[i].record) {
            const MessageRecord& r = *base.messageEntries[i].record;
            const MessageEnvelope& e = r.envelope;
            for (const StringSlot* slot :
                 {&e.sentRepresentingName, &e.senderName, &e.sentRepresentingEmailAddress,
                  &e.senderEmailAddress, &r.displayName})
                if (*slot && !(*slot)->empty()) o.names.push_back(**slot);
            for (const TimeSlot* t :
                 {&e.deliveryTime, &e.clientSubmitTime, &r.creationTime, &r.lastModificationTime})
                if (*t && **t != 0) o.times.push_back(**t);
            if (r.contact)
                for (const StringSlot& slot : r.contact->slots)
                    if (slot && !slot->empty()) o.facts.push_back(*slot);
            for (const auto& [id, text] : r.stringsById)
                o.facts.push_back(text);
            if (r.displayName) o.facts.push_back(*r.displayName);
        }
        base.messageEntries[i].record.reset();
        out.push_back(std::move(o));
    }
    return out;
}

int matchScore(const PeerItem& peer, const OurItem& ours) {
    if (peer.subject && normalize(*peer.subject) != normalize(ours.subject)) return 0;
    if (!peer.names.empty()) {
        bool any = false;
        for (const std::string& p : peer.names)
            for (const std::string& o : ours.names)
                any = any || sameName(p, o);
        if (!any) return 0;
    }
    for (const std::string& fact : peer.facts) {
        const bool phone = digitsOf(fact).size() >= 5 && digitsOf(fact).size() * 2 >= fact.size();
        const bool found = std::any_of(ours.facts.begin(), ours.facts.end(), [&](const auto& o) {
            return phone ? digitsOf(o) == digitsOf(fact) : normalize(o) == normalize(fact);
        });
        if (!found) return 0;
    }
    int agreeing = 0;
    for (std::uint64_t p : peer.times)
        for (std::uint64_t o : ours.times)
            if ((p > o ? p - o : o - p) <= peer.timeTolerance) {
                ++agreeing;
                break;
            }
    if (!peer.times.empty() && !ours.times.empty() && agreeing == 0) return 0;
    // Agreeing times weigh most; the deleted state, then the node id a peer logs, break ties.
    return 4 + 4 * agreeing + (peer.recovered == ours.deleted ? 2 : 0) +
           (peer.node == ours.nodeId ? 1 : 0);
}

std::vector<int> matchItems(const std::vector<PeerItem>& peers, const std::vector<OurItem>& ours) {
    std::vector<std::tuple<int, std::size_t, std::size_t>> pairs;  // score, peer, ours
    for (std::size_t p = 0; p < peers.size(); ++p)
        for (std::size_t o = 0; o < ours.size(); ++o)
            if (const int s = matchScore(peers[p], ours[o]); s > 0) pairs.emplace_back(s, p, o);
    std::stable_sort(pairs.begin(), pairs.end(),
                     [](const auto& a, const auto& b) { return std::get<0>(a) > std::get<0>(b); });
    std::vector<int> out(peers.size(), -1);
    std::vector<bool> taken(ours.size(), false);
    for (const auto& [score, p, o] : pairs) {
        if (out[p] != -1 || taken[o]) continue;
        out[p] = static_cast<int>(o);
        taken[o] = true;
    }
    return out;
}

std::string decodeHeaderWords(const std::string& value) {
    static const std::regex kWord(R"(=\?([^?]+)\?([bBqQ])\?([^?]*)\?=)");
    std::string out;
    auto begin = value.cbegin();
    bool lastWasWord = false;
    for (std::smatch m; std::regex_search(begin, value.cend(), m, kWord); begin = m[0].second) {
        const std::string between(begin, m[0].first);
        // Blanks between adjacent encoded words are dropped.
        if (!(lastWasWord && trim(between).empty())) out += between;
        const std::string raw = (m[2] == "b" || m[2] == "B") ? decodeBase64(m[3]) : decodeQ(m[3]);
        out += toUtf8(raw, m[1]);
        lastWasWord = true;
    }
    out.append(begin, value.cend());
    return out;
}

std::optional<std::uint64_t> parseMailDate(const std::string& value) {
    static const std::regex kDate(
        R"((\d{1,2})\s+([A-Za-z]{3})\w*\s+(\d{4})\s+(\d{1,2}):(\d{2})(?::(\d{2}))?\s*([+-]\d{4}|[A-Za-z]+)?)");
    std::smatch m;
    if (!std::regex_search(value, m, kDate)) return std::nullopt;
    const int month = monthNumber(m[2]);
    if (month == 0) return std::nullopt;
    std::uint64_t t = civilToFiletime(std::stoi(m[3]), static_cast<unsigned>(month),
                                      static_cast<unsigned>(std::stoi(m[1])), std::stoi(m[4]),
                                      std::stoi(m[5]), m[6].matched ? std::stoi(m[6]) : 0);
    const std::string zone = m[7].matched ? m[7].str() : "";
    if (!zone.empty() && (zone[0] == '+' || zone[0] == '-')) {
        const std::int64_t minutes = std::stoi(zone.substr(1, 2)) * 60 + std::stoi(zone.substr(3));
        const std::int64_t shift = minutes * 60 * static_cast<std::int64_t>(kTicksPerSecond);
        // Local time minus its offset is UTC.
        t = zone[0] == '+' ? t - static_cast<std::uint64_t>(shift)
                           : t + static_cast<std::uint64_t>(shift);
    }
    return t;
}

std::optional<std::uint64_t> parsePffTime(const std::string& value) {
    static const std::regex kTime(
        R"(^([A-Za-z]{3}) (\d{2}), (\d{4}) (\d{2}):(\d{2}):(\d{2})(?:\.(\d+))? UTC$)");
    std::smatch m;
    if (!std::regex_match(value, m, kTime)) return std::nullopt;
    const int month = monthNumber(m[1]);
    if (month == 0) return std::nullopt;
    std::uint64_t t = civilToFiletime(std::stoi(m[3]), static_cast<unsigned>(month),
                                      static_cast<unsigned>(std::stoi(m[2])), std::stoi(m[4]),
                                      std::stoi(m[5]), std::stoi(m[6]));
    if (m[7].matched) {
        std::string frac = (m[7].str() + "0000000").substr(0, 7);  // 100 ns ticks
        t += std::stoull(frac);
    }
    return t;
}

}  // namespace brevik::test
