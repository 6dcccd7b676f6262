#include "message/text.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <span>
#include <string>
#include <vector>

namespace brevik {
namespace {

Bytes units(std::span<const std::uint16_t> us) {
    Bytes b;
    for (std::uint16_t u : us) {
        b.push_back(static_cast<std::uint8_t>(u));
        b.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    return b;
}
Bytes units(std::initializer_list<std::uint16_t> us) {
    return units(std::span(us.begin(), us.size()));
}

std::string utf8(const Bytes& b) {
    return utf16ToUtf8(b.data(), b.size());
}

TEST(Utf16ToUtf8, ConvertsEveryPlaneAndStopsAtZero) {
    EXPECT_EQ(utf8(units({'H', 'i'})), "Hi");
    EXPECT_EQ(utf8(units({0x00E9, 0x20AC})), "\xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(utf8(units({0xD83D, 0xDE00})), "\xF0\x9F\x98\x80");  // a surrogate pair
    EXPECT_EQ(utf8(units({'a', 0, 'b'})), "a");
    Bytes odd = units({'o', 'k'});
    odd.push_back('x');  // a stray last byte is not a character
    EXPECT_EQ(utf8(odd), "ok");
    EXPECT_EQ(utf16ToUtf8(nullptr, 4), "");
}

// Runs of plain units are taken several at a time: an odd unit anywhere must still count.
TEST(Utf16ToUtf8, OddUnitsAnywhereInLongRuns) {
    const std::pair<std::uint16_t, std::string> odd[] = {
        {0, ""}, {0x7F, "\x7F"}, {0x80, "\xC2\x80"}, {0xE9, "\xC3\xA9"}, {0x100, "\xC4\x80"}};
    for (std::size_t n = 1; n < 20; ++n)
        for (std::size_t at = 0; at < n; ++at)
            for (const auto& [unit, text] : odd) {
                std::vector<std::uint16_t> u;
                std::string expected;
                for (std::size_t k = 0; k < n; ++k) {
                    const auto letter = static_cast<char>('a' + k);
                    u.push_back(k == at ? unit : static_cast<std::uint16_t>(letter));
                    if (unit == 0 && k >= at) continue;
                    expected += k == at ? text : std::string(1, letter);
                }
                EXPECT_EQ(utf8(units(u)), expected) << n << " " << at << " " << unit;
            }
}

TEST(Utf16ToUtf8, LoneSurrogatesBecomeReplacementCharacters) {
    const std::string r = "\xEF\xBF\xBD";
    EXPECT_EQ(utf8(units({0xD800, 'x'})), r + "x");
    EXPECT_EQ(utf8(units({'x', 0xDC00})), "x" + r);
    EXPECT_EQ(utf8(units({0xD800})), r);
    EXPECT_EQ(utf8(units({0xDC00, 0xD800, 0xDC00})), r + "\xF0\x90\x80\x80");
}

TEST(WideToAnsiInPlace, RewritesAsZeroTerminatedUtf8) {
    Bytes b = units({0x041F, 0x0440, 'i', 0, 0});
    wideToAnsiInPlace(b);
    EXPECT_EQ(b, (Bytes{0xD0, 0x9F, 0xD1, 0x80, 'i', 0}));
    Bytes empty;
    wideToAnsiInPlace(empty);
    EXPECT_EQ(empty, Bytes{0});
}

std::string cp(const std::string& bytes, std::uint32_t page) {
    return codepageToUtf8(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), page);
}

TEST(CodepageToUtf8, ConvertsWindowsAndIsoPages) {
    EXPECT_EQ(cp("caf\xE9 \x80", 0), "caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(cp("caf\xE9", 1252), "caf\xC3\xA9");
    EXPECT_EQ(cp("\xCF\xF0\xE8", 1251), "\xD0\x9F\xD1\x80\xD0\xB8");
    EXPECT_EQ(cp("\xA4", 28605), "\xE2\x82\xAC");    // ISO-8859-15
    EXPECT_EQ(cp("\xA4", 28591), "\xC2\xA4");        // ISO-8859-1
    EXPECT_EQ(cp("\x82\xA0", 932), "\xE3\x81\x82");  // Shift-JIS hiragana a
    EXPECT_EQ(cp("\xC3\xA9", 65001), "\xC3\xA9");
}

TEST(CodepageToUtf8, StopsAtZeroAndMarksWhatDoesNotConvert) {
    EXPECT_EQ(cp(std::string("ab\0cd", 5), 1252), "ab");
    EXPECT_EQ(cp("a\xE9z", 20127), "a\xEF\xBF\xBDz");  // not ASCII
    EXPECT_EQ(cp("a\xC3", 65001), "a\xEF\xBF\xBD");    // a cut sequence
    EXPECT_EQ(cp("\xF0\x9F\x98\x80\xE2\x82\xAC", 65001), "\xF0\x9F\x98\x80\xE2\x82\xAC");
    EXPECT_EQ(cp("a\xC0\xAFz", 65001), "a\xEF\xBF\xBD\xEF\xBF\xBDz");  // an overlong form
    EXPECT_EQ(cp("caf\xE9", 12345), "caf\xC3\xA9");                    // unknown page: Windows-1252
    EXPECT_EQ(cp("", 1252), "");
}

// Single-byte pages convert by a table: every byte must come out as iconv itself turns it, and
// bytes a page leaves undefined as U+FFFD.
TEST(CodepageToUtf8, SingleBytePagesMatchIconvByteForByte) {
    std::string all;
    for (int b = 1; b < 256; ++b)
        all += static_cast<char>(b);
    const std::pair<std::uint32_t, const char*> pages[] = {
        {1250, "WINDOWS-1250"}, {1251, "WINDOWS-1251"}, {1252, "WINDOWS-1252"},
        {1253, "WINDOWS-1253"}, {1257, "WINDOWS-1257"}, {28591, "ISO-8859-1"},
        {28597, "ISO-8859-7"},  {874, "CP874"},         {437, "CP437"},
        {866, "CP866"}};
    for (const auto& [page, name] : pages) {
        iconv_t cd = iconv_open("UTF-8", name);
        ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1)) << name;
        std::string expected;
        for (char c : all) {
            char* in = &c;
            std::size_t inLeft = 1;
            char buffer[16];
            char* out = buffer;
            std::size_t outLeft = sizeof buffer;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            if (iconv(cd, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1))
                expected += "\xEF\xBF\xBD";
            else
                expected.append(buffer, out);
        }
        iconv_close(cd);
        EXPECT_EQ(cp(all + all, page), expected + expected) << name;
    }
}

// ASCII runs are taken several units at a time: a special unit must be found at every position
// of a word, and a zero must end the text wherever it is.
TEST(TextConversion, AnyPositionInAWordOfAsciiRuns) {
    for (std::size_t length = 1; length <= 19; ++length)
        for (std::size_t at = 0; at < length; ++at) {
            const std::string before(at, 'a'), after(length - at - 1, 'z');
            Bytes wide;
            for (char c : before + "\xE9" + after) {
                wide.push_back(static_cast<std::uint8_t>(c));
                wide.push_back(0);
            }
            EXPECT_EQ(utf8(wide), before + "\xC3\xA9" + after) << length << " " << at;
            wide[2 * at] = 0;
            EXPECT_EQ(utf8(wide), before) << length << " " << at;
            EXPECT_EQ(cp(before + "\xE9" + after, 1252), before + "\xC3\xA9" + after);
            EXPECT_EQ(cp(before + std::string(1, '\0') + after, 1252), before);
            EXPECT_EQ(cp(before + "\xC3" + after, 65001), before + "\xEF\xBF\xBD" + after);
        }
}

}  // namespace
}  // namespace brevik
