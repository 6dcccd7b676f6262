// Bodies kept only as compressed RTF: decompression, de-encapsulation and what the sample files'
// items show.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include "message/item_summary.h"
#include "message/load_message.h"
#include "message/records.h"
#include "message/rtf_decompress.h"
#include "message/rtf_text.h"
#include "message/text.h"
#include "recovery/recovery_pass.h"
#include "support/corpus.h"
#include "support/peer_tools.h"
#include "writers/pst/recovered_store.h"

namespace brevik {
namespace {

namespace fs = std::filesystem;

Bytes bytesOf(std::string_view s) {
    return Bytes(s.begin(), s.end());
}
std::string textOf(const Bytes& b) {
    return std::string(b.begin(), b.end());
}
std::string bodyOf(std::string_view rtf) {
    return rtfToBody(bytesOf(rtf)).text;
}

TEST(RtfDecompress, ReadsBothFormsChecksTheCrcAndKeepsWhatDamagedDataHolds) {
    // The published example: back references into the preset dictionary and into the output.
    const Bytes lz = {0x2d, 0x00, 0x00, 0x00, 0x2b, 0x00, 0x00, 0x00, 0x4c, 0x5a, 0x46, 0x75, 0xf1,
                      0xc5, 0xc7, 0xa7, 0x03, 0x00, 0x0a, 0x00, 0x72, 0x63, 0x70, 0x67, 0x31, 0x32,
                      0x35, 0x42, 0x32, 0x0a, 0xf3, 0x20, 0x68, 0x65, 0x6c, 0x09, 0x00, 0x20, 0x62,
                      0x77, 0x05, 0xb0, 0x6c, 0x64, 0x7d, 0x0a, 0x80, 0x0f, 0xa0};
    const std::string plain = "{\\rtf1\\ansi\\ansicpg1252\\pard hello world}\r\n";
    DecompressedRtf d = decompressRtf(lz);
    EXPECT_EQ(textOf(d.rtf), plain);
    EXPECT_FALSE(d.damaged());

    Bytes stored = {0, 0, 0, 0, 0, 0, 0, 0, 0x4d, 0x45, 0x4c, 0x41, 0, 0, 0, 0};
    store32(stored.data(), static_cast<std::uint32_t>(12 + plain.size()));
    store32(stored.data() + 4, static_cast<std::uint32_t>(plain.size()));
    stored.insert(stored.end(), plain.begin(), plain.end());
    EXPECT_EQ(textOf(decompressRtf(stored).rtf), plain);

    const Bytes own = compressRtfLiterals(bytesOf(plain));
    EXPECT_EQ(textOf(decompressRtf(own).rtf), plain);
    EXPECT_FALSE(decompressRtf(own).damaged());

    Bytes badCrc = lz;
    badCrc[12] ^= 1;
    d = decompressRtf(badCrc);
    EXPECT_EQ(d.damage, RtfDamage::BadCrc);
    EXPECT_EQ(textOf(d.rtf), plain);  // what decompressed is kept

    Bytes cut(lz.begin(), lz.end() - 6);
    d = decompressRtf(cut);
    EXPECT_EQ(d.damage, RtfDamage::Truncated);
    EXPECT_EQ(textOf(d.rtf).substr(0, 20), plain.substr(0, 20));

    EXPECT_EQ(decompressRtf(Bytes(lz.begin(), lz.begin() + 10)).damage, RtfDamage::TooShort);
    Bytes unknown = lz;
    unknown[8] = 'X';
    EXPECT_EQ(decompressRtf(unknown).damage, RtfDamage::UnknownType);

    // Garbage after a valid header never crashes and never outgrows the stated raw size.
    std::mt19937 rng(12);
    for (int round = 0; round < 200; ++round) {
        Bytes junk = lz;
        junk.resize(16 + rng() % 300);
        for (std::size_t i = 16; i < junk.size(); ++i)
            junk[i] = static_cast<std::uint8_t>(rng());
        store32(junk.data() + 4, rng() % 500);
        d = decompressRtf(junk);
        EXPECT_LE(d.rtf.size(), load32(junk.data() + 4));
    }

    // A raw size that lies costs memory only for what the data can produce.
    Bytes lying = lz;
    store32(lying.data() + 4, 0xFFFFFFFF);
    d = decompressRtf(lying);
    EXPECT_EQ(textOf(d.rtf), plain);
    EXPECT_LE(d.rtf.capacity(), 9 * lz.size());
}

TEST(RtfText, UnwrapsHtmlAndTextAndReadsNativeRtf) {
    const RtfBody html = rtfToBody(
        bytesOf("{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\deff0{\\fonttbl{\\f0\\fswiss Arial;}}"
                "{\\*\\htmltag19 <html>}{\\*\\htmltag34 <head>}\\htmlrtf {\\htmlrtf0 "
                "{\\*\\htmltag64 <p>}caf\\'e9 \\{x\\}\\htmlrtf \\par\\htmlrtf0 "
                "{\\*\\htmltag72 </p>}\\par{\\*\\mhtmltag84 <img src=cid:1>}"
                "{\\*\\htmltag84 <img src=a.png>}}}"));
    EXPECT_TRUE(html.isHtml());
    EXPECT_EQ(html.text, "<html><head><p>caf\xC3\xA9 {x}</p>\r\n<img src=a.png>");

    const RtfBody text = rtfToBody(
        bytesOf("{\\rtf1\\ansi\\ansicpg1252\\fromtext \\deff0{\\fonttbl{\\f0\\fmodern Courier;}}"
                "{\\colortbl\\red0\\green0\\blue0;}\\f0\\fs20 Line one\\par\r\nLine\\tab two}"));
    EXPECT_EQ(text.origin, RtfOrigin::Text);
    EXPECT_EQ(text.text, "Line one\r\nLine\ttwo");

    // Native: code page from \ansicpg and from the font's charset, \u with its fallback,
    // surrogate pairs, hidden text and unknown ignorable destinations left out.
    EXPECT_EQ(bodyOf("{\\rtf1\\ansi\\ansicpg1251 \\'c0\\'e1 {\\*\\unknown secret}ok}"),
              "\xD0\x90\xD0\xB1 ok");
    EXPECT_EQ(bodyOf("{\\rtf1\\ansi{\\fonttbl{\\f1\\fcharset238 X;}}\\f1 \\'b9}"), "\xC4\x85");
    EXPECT_EQ(bodyOf("{\\rtf1\\uc1 \\u8364?5 \\u-10179?\\u-8704?}"),
              "\xE2\x82\xAC"
              "5 \xF0\x9F\x98\x80");
    EXPECT_EQ(bodyOf("{\\rtf1 shown {\\v hidden}\\v also\\v0  back}"), "shown  back");
    EXPECT_EQ(bodyOf("{\\rtf1{\\info{\\title T}}{\\pict\\bin3 }}{}body\\line end}"), "body\r\nend");
    // Unbalanced and cut-off input reads what it can.
    EXPECT_EQ(bodyOf("}}{\\rtf1 a\\'4"), "a");
}

// pffexport writes one zero byte more than the raw size; the RTF itself ends in one.
std::string withoutTrailingZeros(std::string s) {
    while (!s.empty() && s.back() == '\0')
        s.pop_back();
    return s;
}

// Every RTF body that pffexport writes out, as a multiset of its bytes.
std::multiset<std::string> peerRtfBodies(const std::string& path, const fs::path& tmp) {
    const fs::path target = tmp / "out";
    test::runTool({"pffexport", "-q", "-m", "all", "-f", "all", "-t", target.string(), path},
                  tmp / "log");
    std::multiset<std::string> out;
    for (const fs::path& dir :
         {fs::path(target.string() + ".export"), fs::path(target.string() + ".recovered"),
          fs::path(target.string() + ".orphans")}) {
        if (!fs::exists(dir)) continue;
        for (const auto& f : fs::recursive_directory_iterator(dir))
            if (f.path().filename() == "Message.rtf") {
                std::ifstream in(f.path(), std::ios::binary);
                std::stringstream s;
                s << in.rdbuf();
                out.insert(withoutTrailingZeros(s.str()));
            }
    }
    return out;
}

// The compressed RTF of an item and of the messages embedded in it, each with the item's own
// HTML or text body (UTF-8; empty when it has none).
struct RtfAndOwn {
    Bytes rtf;
    std::string html, text;
};
void collectRtf(const pst::Item& item, std::vector<RtfAndOwn>& out) {
    if (const pst::Property* p = pst::findProperty(item.properties, 0x1009)) {
        RtfAndOwn r{p->value, {}, {}};
        if (const pst::Property* h = pst::findProperty(item.properties, 0x1013))
            r.html.assign(h->value.begin(), h->value.end());
        if (const pst::Property* t = pst::findProperty(item.properties, 0x1000))
            r.text = utf16ToUtf8(t->value.data(), t->value.size());
        out.push_back(std::move(r));
    }
    for (const pst::Attachment& a : item.attachments)
        if (a.embedded) collectRtf(*a.embedded, out);
}

// Text with line ends and runs of blanks folded, for comparing bodies written by different
// converters.
std::string folded(std::string_view s) {
    std::string out;
    for (char c : s) {
        const bool blank = c == ' ' || c == '\r' || c == '\n' || c == '\t';
        if (blank && (out.empty() || out.back() == ' ')) continue;
        out.push_back(blank ? ' ' : c);
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

TEST(RtfCorpus, DecompressedBodiesEqualThePeersAndUnwrapToTheItemsOwnBodies) {
    BREVIK_REQUIRE_CORPUS();
    if (!test::haveTool("pffexport")) GTEST_SKIP() << "pffexport is not installed";
    for (const char* name : {"chunks-part1.pst", "outlook1.pst", "submessage.pst"}) {
        SCOPED_TRACE(name);
        const std::string path = test::corpusPath(std::string("pst/") + name);
        test::TempDir tmp;
        std::multiset<std::string> peer = peerRtfBodies(path, tmp.path());

        RecoveredBase base;
        setMessageBasePath(base, path);
        openMessageBase(base);
        ASSERT_EQ(base.resultOk, 1);
        std::size_t ours = 0, matched = 0, unwrapped = 0, agree = 0;
        // Embedded messages included: the writer's reader walks them.
        const pst::RecoveredNames names = pst::recoveredNames(base);
        for (std::uint32_t i = 0; i < base.itemCount; ++i) {
            std::vector<RtfAndOwn> found;
            if (auto item = pst::recoveredItem(base, i, names)) collectRtf(*item, found);
            for (const RtfAndOwn& r : found) {
                ++ours;
                const DecompressedRtf d = decompressRtf(r.rtf);
                EXPECT_FALSE(d.damaged());
                if (auto it = peer.find(withoutTrailingZeros(textOf(d.rtf))); it != peer.end()) {
                    peer.erase(it);
                    ++matched;
                }
                const RtfBody body = rtfToBody(d.rtf);
                const std::string& own = body.isHtml() ? r.html : r.text;
                if (body.origin == RtfOrigin::Native || own.empty()) continue;
                ++unwrapped;
                if (folded(body.text) == folded(own))
                    ++agree;
                else
                    ADD_FAILURE() << "item " << i << "\n--- ours\n"
                                  << folded(body.text).substr(0, 600) << "\n--- own\n"
                                  << folded(own).substr(0, 600);
            }
        }
        std::printf(
            "%s: %zu RTF bodies, %zu equal pffexport's (%zu of its left), %zu of %zu "
            "unwrapped equal the item's own body\n",
            name, ours, matched, peer.size(), agree, unwrapped);
        EXPECT_TRUE(peer.empty()) << "RTF bodies that pffexport found and we did not";
        EXPECT_EQ(agree, unwrapped);
    }
}

}  // namespace
}  // namespace brevik
