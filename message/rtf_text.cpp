#include "message/rtf_text.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "message/text.h"

namespace brevik {
namespace {

constexpr std::size_t kMaxDepth = 1024;  // deeper groups are read as if flat
constexpr std::uint32_t kDefaultCodepage = 1252;

// Destinations whose text is never part of the body.
bool skippedDestination(std::string_view word) {
    static constexpr std::array<std::string_view, 48> kWords = {"colortbl",
                                                                "stylesheet",
                                                                "info",
                                                                "pict",
                                                                "object",
                                                                "header",
                                                                "headerl",
                                                                "headerr",
                                                                "headerf",
                                                                "footer",
                                                                "footerl",
                                                                "footerr",
                                                                "footerf",
                                                                "footnote",
                                                                "fldinst",
                                                                "xe",
                                                                "tc",
                                                                "listtable",
                                                                "listoverridetable",
                                                                "revtbl",
                                                                "rsidtbl",
                                                                "generator",
                                                                "filetbl",
                                                                "datafield",
                                                                "themedata",
                                                                "colorschememapping",
                                                                "latentstyles",
                                                                "datastore",
                                                                "xmlnstbl",
                                                                "mmathPr",
                                                                "pn",
                                                                "pnseclvl",
                                                                "ftnsep",
                                                                "ftnsepc",
                                                                "ftncn",
                                                                "aftnsep",
                                                                "aftnsepc",
                                                                "aftncn",
                                                                "bkmkstart",
                                                                "bkmkend",
                                                                "annotation",
                                                                "atnid",
                                                                "atnauthor",
                                                                "userprops",
                                                                "private",
                                                                "nonshppict",
                                                                "shpinst",
                                                                "objdata"};
    return std::find(kWords.begin(), kWords.end(), word) != kWords.end();
}

// Code page of a font's \fcharset.
std::uint32_t charsetCodepage(int charset, std::uint32_t fallback) {
    switch (charset) {
        case 77:
            return 10000;
        case 128:
            return 932;
        case 129:
            return 949;
        case 134:
            return 936;
        case 136:
            return 950;
        case 161:
            return 1253;
        case 162:
            return 1254;
        case 163:
            return 1258;
        case 177:
            return 1255;
        case 178:
            return 1256;
        case 186:
            return 1257;
        case 204:
            return 1251;
        case 222:
            return 874;
        case 238:
            return 1250;
        default:
            return fallback;
    }
}

// Characters that control words stand for.
std::optional<char32_t> namedCharacter(std::string_view word) {
    static const std::unordered_map<std::string_view, char32_t> kChars = {
        {"emdash", 0x2014},  {"endash", 0x2013},    {"bullet", 0x2022},    {"lquote", 0x2018},
        {"rquote", 0x2019},  {"ldblquote", 0x201C}, {"rdblquote", 0x201D}, {"emspace", 0x2003},
        {"enspace", 0x2002}, {"qmspace", 0x2005},   {"tab", '\t'},         {"cell", '\t'},
        {"zwj", 0x200D},     {"zwnj", 0x200C}};
    auto it = kChars.find(word);
    if (it == kChars.end()) return std::nullopt;
    return it->second;
}

struct GroupState {
    bool skip = false;       // a destination that holds no body text
    bool fontTable = false;  // inside \fonttbl: fonts are defined, nothing is shown
    bool hidden = false;     // \v
    bool htmlRtf = false;    // \htmlrtf: RTF that was not in the wrapped HTML or text
    bool htmlTag = false;    // inside \*\htmltag: wrapped HTML
    int unicodeSkip = 1;     // \uc
    std::uint32_t codepage = kDefaultCodepage;
};

class Reader {
  public:
    explicit Reader(ByteView rtf) : in_(rtf) {}

    RtfBody run() {
        while (pos_ < in_.size()) {
            const std::uint8_t c = in_[pos_];
            if (c == '{') {
                ++pos_;
                openGroup();
            } else if (c == '}') {
                ++pos_;
                closeGroup();
            } else if (c == '\\') {
                ++pos_;
                control();
            } else {
                ++pos_;
                if (c != '\r' && c != '\n') textByte(c);
            }
        }
        flushBytes();
        return {origin_, std::move(out_)};
    }

  private:
    bool shown() const {
        const GroupState& s = state_;
        if (s.skip || s.fontTable) return false;
        return s.htmlTag || (!s.hidden && !s.htmlRtf);
    }

    void openGroup() {
        if (stack_.size() < kMaxDepth) stack_.push_back(state_);
        skipChars_ = 0;
        groupStart_ = true;
    }

    void closeGroup() {
        flushBytes();
        if (!stack_.empty()) {
            state_ = stack_.back();
            stack_.pop_back();
        }
        skipChars_ = 0;
        groupStart_ = false;
    }

    void control() {
        if (pos_ >= in_.size()) return;
        const std::uint8_t c = in_[pos_];
        const bool first = groupStart_;
        groupStart_ = false;
        if (!isAlpha(c)) {
            ++pos_;
            symbol(c, first);
            return;
        }
        const std::size_t start = pos_;
        while (pos_ < in_.size() && isAlpha(in_[pos_]) && pos_ - start < 32)
            ++pos_;
        const std::string_view word(reinterpret_cast<const char*>(in_.data() + start),
                                    pos_ - start);
        std::optional<int> param;
        bool negative = false;
        if (pos_ < in_.size() && in_[pos_] == '-') {
            negative = true;
            ++pos_;
        }
        long value = 0;
        std::size_t digits = 0;
        while (pos_ < in_.size() && in_[pos_] >= '0' && in_[pos_] <= '9') {
            if (digits++ < 10) value = value * 10 + (in_[pos_] - '0');
            ++pos_;
        }
        if (digits > 0)
            param = static_cast<int>(
                std::clamp<long>(negative ? -value : value, -2147483647L, 2147483647L));
        if (pos_ < in_.size() && in_[pos_] == ' ') ++pos_;
        controlWord(word, param, first);
    }

    void symbol(std::uint8_t c, bool first) {
        switch (c) {
            case '\'': {
                if (pos_ + 2 > in_.size()) {
                    pos_ = in_.size();
                    return;
                }
                const int hi = hexValue(in_[pos_]), lo = hexValue(in_[pos_ + 1]);
                pos_ += 2;
                if (hi >= 0 && lo >= 0) textByte(static_cast<std::uint8_t>(hi * 16 + lo));
                return;
            }
            case '*':
                if (first) ignorable_ = true;
                groupStart_ = first;  // the destination's word follows
                return;
            case '\\':
            case '{':
            case '}':
                textByte(c);
                return;
            case '~':
                character(0x00A0);
                return;
            case '_':
                character(0x2011);
                return;
            case '\r':
            case '\n':
                lineBreak();
                return;
            default:
                return;  // \- (optional hyphen) and unknown symbols show nothing
        }
    }

    void controlWord(std::string_view word, std::optional<int> param, bool first) {
        const bool ignorable = ignorable_;
        ignorable_ = false;
        if (first) {
            // The first word of a group may name a destination.
            if (word == "htmltag" && ignorable) {
                flushBytes();
                state_.htmlTag = true;
                state_.codepage = defaultCodepage_;
                return;
            }
            if (word == "fonttbl") {
                state_.fontTable = true;
                return;
            }
            if (ignorable || skippedDestination(word)) {
                state_.skip = true;
                return;
            }
        }
        if (state_.fontTable) {
            if (word == "f" && param) definingFont_ = *param;
            if (word == "fcharset" && param)
                fontCodepages_[definingFont_] = charsetCodepage(*param, defaultCodepage_);
            if (word == "cpg" && param && *param > 0)
                fontCodepages_[definingFont_] = static_cast<std::uint32_t>(*param);
            return;
        }
        if (word == "bin") {
            // Binary data of the given length follows; it is never text.
            pos_ += std::min<std::size_t>(static_cast<std::size_t>(std::max(0, param.value_or(0))),
                                          in_.size() - pos_);
            return;
        }
        if (word == "u" && param) {
            unicode(*param);
            return;
        }
        if (word == "ansicpg" && param && *param > 0) {
            defaultCodepage_ = static_cast<std::uint32_t>(*param);
            state_.codepage = defaultCodepage_;
        } else if (word == "fromhtml") {
            origin_ = RtfOrigin::Html;
        } else if (word == "fromtext") {
            origin_ = RtfOrigin::Text;
        } else if (word == "htmlrtf") {
            state_.htmlRtf = param.value_or(1) != 0;
        } else if (word == "v") {
            state_.hidden = param.value_or(1) != 0;
        } else if (word == "plain") {
            state_.hidden = false;
        } else if (word == "uc" && param) {
            state_.unicodeSkip = std::clamp(*param, 0, 16);
        } else if (word == "f" && param && !state_.htmlTag) {
            flushBytes();
            auto it = fontCodepages_.find(*param);
            state_.codepage = it != fontCodepages_.end() ? it->second : defaultCodepage_;
        } else if (word == "par" || word == "line" || word == "row" || word == "sect" ||
                   word == "page") {
            lineBreak();
        } else if (auto c = namedCharacter(word)) {
            character(*c);
        }
    }

    void unicode(int value) {
        if (shown()) {
            const auto unit = static_cast<char32_t>(value < 0 ? value + 65536 : value);
            flushBytes();
            if (unit >= 0xD800 && unit <= 0xDBFF) {
                highSurrogate_ = unit;
            } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
                if (highSurrogate_)
                    appendUtf8(out_, 0x10000 + ((highSurrogate_ - 0xD800) << 10) + (unit - 0xDC00));
                else
                    appendUtf8(out_, 0xFFFD);
                highSurrogate_ = 0;
            } else {
                appendUtf8(out_, unit);
            }
        }
        skipChars_ = state_.unicodeSkip;
    }

    void textByte(std::uint8_t b) {
        if (skipChars_ > 0) {
            --skipChars_;
            return;
        }
        groupStart_ = false;
        if (!shown()) return;
        if (b == 0) return;
        if (b < 0x80 && pending_.empty()) {
            out_.push_back(static_cast<char>(b));
            return;
        }
        if (!pending_.empty() && pendingCodepage_ != state_.codepage) flushBytes();
        pendingCodepage_ = state_.codepage;
        pending_.push_back(b);
    }

    void character(char32_t c) {
        skipChars_ = 0;
        if (!shown()) return;
        flushBytes();
        appendUtf8(out_, c);
    }

    void lineBreak() {
        skipChars_ = 0;
        if (!shown()) return;
        flushBytes();
        out_ += "\r\n";
    }

    void flushBytes() {
        if (pending_.empty()) return;
        out_ += codepageToUtf8(pending_.data(), pending_.size(), pendingCodepage_);
        pending_.clear();
    }

    static bool isAlpha(std::uint8_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
    static int hexValue(std::uint8_t c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    ByteView in_;
    std::size_t pos_ = 0;
    RtfOrigin origin_ = RtfOrigin::Native;
    GroupState state_;
    std::vector<GroupState> stack_;
    bool groupStart_ = false;
    bool ignorable_ = false;
    int skipChars_ = 0;
    char32_t highSurrogate_ = 0;
    std::uint32_t defaultCodepage_ = kDefaultCodepage;
    std::unordered_map<int, std::uint32_t> fontCodepages_;
    int definingFont_ = 0;
    Bytes pending_;
    std::uint32_t pendingCodepage_ = kDefaultCodepage;
    std::string out_;
};

}  // namespace

RtfBody rtfToBody(ByteView rtf) {
    return Reader(rtf).run();
}

}  // namespace brevik
