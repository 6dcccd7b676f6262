// Items written as .eml and read back by Python's email package.
#include "writers/eml/eml_writer.h"

#include <gtest/gtest.h>

#include <fstream>

#include "mail_files.h"
#include "message/rtf_decompress.h"
#include "writers/files/item_fields.h"

namespace brevik::eml {
namespace {

using namespace pst;

Bytes bytesOf(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

Property binary(std::uint16_t id, const std::string& s) {
    return binaryProperty(id, Bytes(s.begin(), s.end()));
}

Attachment fileAttachment(const std::string& name, const std::string& data,
                          const std::string& mime = {}, const std::string& cid = {}) {
    Attachment a;
    a.properties = {unicodeProperty(0x3707, name), int32Property(0x3705, 1)};
    if (!mime.empty()) a.properties.push_back(unicodeProperty(0x370E, mime));
    if (!cid.empty()) a.properties.push_back(unicodeProperty(0x3712, cid));
    a.data.assign(data.begin(), data.end());
    return a;
}

Recipient recipient(const std::string& name, const std::string& address, std::uint32_t type) {
    return {{unicodeProperty(0x3001, name), unicodeProperty(0x3002, "SMTP"),
             unicodeProperty(0x3003, address), int32Property(0x0C15, type)}};
}

std::string writeFile(const test::ScratchDir& dir, const std::string& name, const Item& item) {
    const std::string path = dir.file(name);
    std::ofstream(path, std::ios::binary) << writeEml(item);
    return path;
}

TEST(EmlWriter, EveryPartSurvivesAParserWithNonAsciiTextAndUnsafeNames) {
    Item inner;
    inner.properties = {unicodeProperty(0x0037, "Innere Nachricht ü"),
                        unicodeProperty(0x1000, "inner body")};
    Item item;
    const std::string html = "<html><body><p>Grüße</p><img src=\"cid:logo@x\"></body></html>";
    item.properties = {
        unicodeProperty(0x0037,
                        "\x01\x04RE: Grüße – 日本語の件名 with a rather long subject line "
                        "that has to be folded"),
        unicodeProperty(0x0042, "Zoë Müller"),
        unicodeProperty(0x5D02, "zoe@example.com"),
        unicodeProperty(0x1000, "From the start\nnaïve text\n>From quoted\n"),
        binary(0x1013, html),
        int32Property(0x3FDE, 65001),
        timeProperty(0x0039, 116444736000000000ull + 1700000000ull * 10000000ull),
        unicodeProperty(0x1035, "<abc@example.com>"),
        unicodeProperty(0x1042, "<prev@example.com>")};
    item.recipients = {recipient("Jürgen Groß", "j@example.de", 1),
                       recipient("李雷", "li@example.cn", 2)};
    item.attachments = {
        fileAttachment("logo.png", std::string("\x89PNG\r\n\0x", 8), "image/png", "logo@x"),
        fileAttachment("café.txt", "caf\xc3\xa9\n"),
        fileAttachment("報告書 2024.pdf", std::string(3000, '\0')),
        fileAttachment("../../evil.sh", "#!/bin/sh\n")};
    Attachment embedded;
    embedded.properties = {int32Property(0x3705, 5)};
    embedded.embedded = std::make_shared<Item>(inner);
    item.attachments.push_back(embedded);

    test::ScratchDir dir;
    const std::string path = writeFile(dir, "m.eml", item);
    const auto all = test::checkMail("eml", {path});
    ASSERT_TRUE(all.contains(path)) << "the checker could not run";
    const auto& m = all[path];
    ASSERT_FALSE(m.contains("error")) << m["error"];
    EXPECT_TRUE(m["defects"].empty()) << m["defects"].dump();
    EXPECT_EQ(m["subject"],
              "RE: Grüße – 日本語の件名 with a rather long subject line that has to be folded");
    EXPECT_EQ(m["from"][0]["name"], "Zoë Müller");
    EXPECT_EQ(m["from"][0]["address"], "zoe@example.com");
    EXPECT_EQ(m["to"][0]["name"], "Jürgen Groß");
    EXPECT_EQ(m["cc"][0]["address"], "li@example.cn");
    EXPECT_EQ(m["date"], 1700000000.0);
    EXPECT_EQ(test::normalisedText(m["text"]), "From the start\nnaïve text\n>From quoted");
    EXPECT_EQ(test::normalisedText(m["html"]), html);

    std::map<std::string, std::uint32_t> crcByName;
    for (const auto& a : m["attachments"])
        crcByName[a["name"].is_null() ? "" : a["name"].get<std::string>()] = a["crc32"];
    for (const Attachment& a : item.attachments) {
        if (a.embedded) continue;
        std::string name = *files::ItemFields(a.properties).text(0x3707);
        if (name == "../../evil.sh") name = "evil.sh";  // no path reaches a reader
        ASSERT_TRUE(crcByName.count(name)) << name << " in " << m["attachments"].dump();
        EXPECT_EQ(crcByName[name], test::zlibCrc(a.data)) << name;
    }
    ASSERT_EQ(m["embedded"].size(), 1u);
    EXPECT_EQ(m["embedded"][0]["subject"], "Innere Nachricht ü");
    EXPECT_EQ(test::normalisedText(m["embedded"][0]["text"]), "inner body");
}

TEST(EmlWriter, KeepsOriginalHeadersButNotTheirContentHeaders) {
    Item item;
    item.properties = {
        unicodeProperty(0x007D,
                        "Received: from mx.example.com by mail.example.org; Mon, 1 Jan 2024 "
                        "10:00:00 +0000\r\nSubject: =?utf-8?q?Original_=C3=BC?=\r\nFrom: A "
                        "<a@example.com>\r\nDate: Mon, 1 Jan 2024 10:00:00 +0000\r\nMIME-Version: "
                        "1.0\r\nContent-Type: text/plain; charset=\"iso-8859-1\"\r\n"
                        "Content-Transfer-Encoding: quoted-printable\r\nX-Custom: kept\r\n\r\n"),
        unicodeProperty(0x0037, "From properties"), unicodeProperty(0x1000, "body ü")};
    const std::string text = writeEml(item);
    EXPECT_NE(text.find("Received: from mx.example.com"), std::string::npos);
    EXPECT_NE(text.find("X-Custom: kept"), std::string::npos);
    EXPECT_EQ(text.find("iso-8859-1"), std::string::npos);
    EXPECT_EQ(text.find("quoted-printable"), std::string::npos);

    test::ScratchDir dir;
    const std::string path = writeFile(dir, "h.eml", item);
    const auto m = test::checkMail("eml", {path})[path];
    EXPECT_TRUE(m["defects"].empty()) << m.dump();
    EXPECT_EQ(m["subject"], "Original ü");
    EXPECT_EQ(test::normalisedText(m["text"]), "body ü");
}

TEST(EmlWriter, BodiesKeptOnlyAsCompressedRtfAreUnwrapped) {
    const std::string wrapped =
        "{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 {\\*\\htmltag <p>}Hello "
        "{\\*\\htmltag <b>}world{\\*\\htmltag </b>}{\\*\\htmltag </p>}}";
    Item html;
    html.properties = {unicodeProperty(0x0037, "RTF only"),
                       binaryProperty(0x1009, compressRtfLiterals(bytesOf(wrapped)))};
    const std::string text = writeEml(html);
    EXPECT_NE(text.find("text/html"), std::string::npos) << text;
    EXPECT_NE(text.find("<b>world</b>"), std::string::npos) << text;

    Item native;
    native.properties = {
        unicodeProperty(0x0037, "Native"),
        binaryProperty(0x1009, compressRtfLiterals(bytesOf("{\\rtf1\\ansi Plain words\\par}")))};
    const std::string plain = writeEml(native);
    EXPECT_NE(plain.find("Plain"), std::string::npos) << plain;
}

}  // namespace
}  // namespace brevik::eml

namespace brevik::eml {
namespace {

// A meeting request carries its calendar as a text/calendar alternative with the method; parts of
// type message/* go unencoded (RFC 2046), or as plain bytes when they cannot.
TEST(EmlWriter, MeetingCalendarsAndMessagePartsAreWrittenAsMailReadersExpect) {
    Item item;
    item.properties = {unicodeProperty(0x0037, "Undeliverable: Planning"),
                       unicodeProperty(0x1000, "Delivery has failed.")};
    item.attachments = {
        fileAttachment("details.txt",
                       "Reporting-MTA: dns; mx.example.com\r\n\r\n"
                       "Final-Recipient: rfc822; a@example.com\r\nAction: failed\r\n",
                       "message/delivery-status"),
        fileAttachment("broken.eml", std::string("Subject: x\r\n\r\n\0\0\0", 17),
                       "message/rfc822")};
    EmlOptions options;
    options.calendar = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nMETHOD:REQUEST\r\nEND:VCALENDAR\r\n";
    test::ScratchDir dir;
    const std::string path = dir.file("r.eml");
    std::ofstream(path, std::ios::binary) << writeEml(item, options);
    const auto m = test::checkMail("eml", {path})[path];
    ASSERT_TRUE(m.contains("parts")) << m.dump();
    EXPECT_TRUE(m["defects"].empty()) << m["defects"].dump();
    std::map<std::string, nlohmann::json> byType;
    for (const auto& p : m["parts"])
        byType[p["type"]] = p;
    ASSERT_TRUE(byType.count("text/calendar")) << m["parts"].dump();
    EXPECT_EQ(byType["text/calendar"]["method"], "REQUEST");
    ASSERT_TRUE(byType.count("message/delivery-status")) << m["parts"].dump();
    EXPECT_EQ(byType["message/delivery-status"]["cte"], "7bit");
    EXPECT_FALSE(byType.count("message/rfc822"));
    EXPECT_EQ(byType["application/octet-stream"]["cte"], "base64");
}

}  // namespace
}  // namespace brevik::eml
