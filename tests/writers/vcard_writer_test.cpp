#include "writers/vcf/vcard_writer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "mail_files.h"
#include "message/text.h"

namespace brevik::vcf {
namespace {

TEST(VcardWriter, EscapesAndFoldsWithoutSplittingCharacters) {
    EXPECT_EQ(escapeText("a,b;c\\d\r\ne\nf"), "a\\,b\\;c\\\\d\\ne\\nf");
    std::string line = "NOTE:";
    for (int i = 0; i < 60; ++i)
        line += "ü€x";  // two-, three- and one-byte characters
    const std::string folded = foldLine(line);
    std::string unfolded;
    std::size_t start = 0;
    while (start < folded.size()) {
        const std::size_t end = folded.find("\r\n", start);
        ASSERT_NE(end, std::string::npos);
        const std::string physical = folded.substr(start, end - start);
        EXPECT_LE(physical.size(), 75u);
        if (start > 0) {
            ASSERT_EQ(physical[0], ' ');
        }
        // No line starts inside a character.
        EXPECT_NE(static_cast<unsigned char>(physical[start > 0 ? 1 : 0]) & 0xC0, 0x80);
        unfolded += start > 0 ? physical.substr(1) : physical;
        start = end + 2;
    }
    EXPECT_EQ(unfolded, line);
}

TEST(VcardWriter, AContactWithEveryFieldRoundTripsThroughVobject) {
    ContactFields c;
    c.displayName = "Dr. Zoë Müller-Lüdenscheidt, Jr.";
    c.prefix = "Dr.";
    c.givenName = "Zoë";
    c.middleName = "Anna";
    c.surname = "Müller-Lüdenscheidt";
    c.suffix = "Jr.";
    c.nickname = "Zo";
    c.company = "Acme; Sons";
    c.department = "R&D";
    c.title = "Chief, Widgets";
    c.emails = {{"zoe@example.com", "Zoë"}, {"z@example.org", ""}};
    c.phones = {{"work", "+49 30 1234"}, {"cell", "+49 170 5"}, {"fax-home", "+49 30 9"}};
    c.addresses = {
        {"home", "Hauptstraße 1\nHinterhaus", "Berlin", "BE", "10115", "Germany", "", true}};
    c.webPage = "https://example.com/a,b";
    c.birthday = 116444736000000000ull + 86400ull * 10000000ull * 3650;  // 1979-12-30
    c.notes = "Line one\nLine two; with, punctuation \\ and a long tail " + std::string(80, 'x');
    c.categories = {"Friends", "Work, too"};
    c.picture = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00};
    c.pictureType = "image/jpeg";

    test::ScratchDir dir;
    const std::string path = dir.file("c.vcf");
    std::ofstream(path, std::ios::binary) << contactCard(c, memberUid(0x2004, 42));
    std::string output;
    ASSERT_EQ(
        test::runCommand("/usr/bin/python3 " BREVIK_TEST_SUPPORT_DIR "/cards_check.py --dump " +
                             test::shellQuote(path),
                         &output),
        0);
    const auto j = nlohmann::json::parse(output);
    EXPECT_EQ(j["FN"][0], c.displayName);
    EXPECT_EQ(j["N"][0], (nlohmann::json{"Müller-Lüdenscheidt", "Zoë", "Anna", "Dr.", "Jr."}));
    EXPECT_EQ(j["ORG"][0], (nlohmann::json{"Acme; Sons", "R&D"}));
    EXPECT_EQ(j["TITLE"][0], c.title);
    EXPECT_EQ(j["EMAIL"], (nlohmann::json{"zoe@example.com", "z@example.org"}));
    EXPECT_EQ(j["TEL"], (nlohmann::json{"+49 30 1234", "+49 170 5", "+49 30 9"}));
    EXPECT_EQ(j["ADR"][0][2], "Hauptstraße 1\nHinterhaus");  // box, extended, street, ...
    EXPECT_EQ(j["ADR"][0][3], "Berlin");
    EXPECT_EQ(j["URL"][0], c.webPage);
    EXPECT_EQ(j["BDAY"][0], "1979-12-30");
    EXPECT_EQ(j["NOTE"][0], c.notes);
    EXPECT_EQ(j["CATEGORIES"][0], (nlohmann::json{"Friends", "Work, too"}));
    EXPECT_EQ(j["PHOTO"][0]["bytes"], c.picture.size());
}

}  // namespace
}  // namespace brevik::vcf
