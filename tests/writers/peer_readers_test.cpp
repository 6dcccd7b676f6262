// Independent readers open what we write: pffinfo, pffexport and readpst must see every item
// with its subject, sender, recipients, body and attachment bytes.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "writer_test_util.h"
#include "writers/pst/sample_generator.h"

namespace brevik::pst {
namespace {

namespace fs = std::filesystem;
using test::ScratchDir;

std::string slurp(const fs::path& p) {
    const Bytes b = test::readFile(p.string());
    return std::string(b.begin(), b.end());
}

struct Expected {
    SampleItem sample;
    std::string subject, sender, senderEmail, body;
};

enum class Encoding { Plain, Permute, Cyclic, Pages4k };

class PeerReaders : public ::testing::TestWithParam<Encoding> {
  protected:
    void SetUp() override {
        options_.items = 10;
        options_.deleted = 2;
        options_.orphans = 2;
        options_.seed = 7;
        options_.permute = GetParam() == Encoding::Permute;
        options_.cyclic = GetParam() == Encoding::Cyclic;
        options_.pages4k = GetParam() == Encoding::Pages4k;
        path_ = dir_.file("sample.pst");
        ASSERT_TRUE(generateSamplePst(path_, options_).ok());
        SampleGenerator gen(options_);
        while (!gen.done()) {
            Expected e;
            e.sample = gen.next();
            const auto& p = e.sample.item.properties;
            e.subject = sampleText(p, 0x0037);
            e.sender = sampleText(p, 0x0C1A);
            e.senderEmail = sampleText(p, 0x0C1F);
            e.body = sampleText(p, 0x1000);
            expected_.push_back(std::move(e));
        }
    }
    bool isMail(const Expected& e) const {
        return sampleText(e.sample.item.properties, 0x001A) == "IPM.Note";
    }

    SampleOptions options_;
    ScratchDir dir_;
    std::string path_;
    std::vector<Expected> expected_;
};

TEST_P(PeerReaders, PffinfoOpensTheFileWithoutErrors) {
    if (!test::haveTool("pffinfo")) GTEST_SKIP() << "pffinfo is not installed (package pff-tools)";
    std::string out;
    EXPECT_EQ(test::runCommand("pffinfo '" + path_ + "'", &out), 0) << out;
    EXPECT_EQ(out.find("Unable"), std::string::npos) << out;
    EXPECT_EQ(out.find("error"), std::string::npos) << out;
    EXPECT_NE(out.find("64-bit"), std::string::npos) << out;
}

TEST_P(PeerReaders, PffexportFindsEveryLiveDeletedAndOrphanedItem) {
    if (!test::haveTool("pffexport"))
        GTEST_SKIP() << "pffexport is not installed (package pff-tools)";
    const std::string target = dir_.file("x");
    std::string log;
    ASSERT_EQ(test::runCommand("pffexport -q -m all -t '" + target + "' '" + path_ + "'", &log), 0)
        << log;
    // Item folders (outside attachments), keyed by the subject pffexport printed.
    std::map<std::string, fs::path> live;
    std::size_t recovered = 0, orphans = 0;
    for (auto it = fs::recursive_directory_iterator(target + ".export");
         it != fs::recursive_directory_iterator(); ++it) {
        if (it->path().filename() == "Attachments") it.disable_recursion_pending();
        const auto name = it->path().filename();
        if (name != "OutlookHeaders.txt" && name != "Contact.txt" && name != "Note.txt") continue;
        const std::string headers = slurp(it->path());
        const auto at = headers.find("Subject:");
        if (at == std::string::npos) continue;
        const auto start = headers.find_first_not_of('\t', at + 8);
        live[headers.substr(start, headers.find('\n', start) - start)] = it->path().parent_path();
    }
    for (const auto& e : fs::directory_iterator(target + ".recovered"))
        recovered += e.is_directory();
    for (const auto& e : fs::directory_iterator(target + ".orphans"))
        orphans += e.is_directory();
    EXPECT_EQ(recovered, options_.deleted);
    EXPECT_EQ(orphans, options_.orphans);

    std::size_t checked = 0;
    for (const Expected& e : expected_) {
        if (e.sample.placement != SamplePlacement::Live) continue;
        ASSERT_TRUE(live.count(e.subject)) << "missing: " << e.subject;
        const fs::path dir = live[e.subject];
        if (!isMail(e)) continue;
        const std::string headers = slurp(dir / "OutlookHeaders.txt");
        EXPECT_NE(headers.find("Sender name:\t\t\t\t" + e.sender), std::string::npos) << headers;
        EXPECT_NE(headers.find(e.senderEmail), std::string::npos);
        const std::string recipients = slurp(dir / "Recipients.txt");
        for (const Recipient& r : e.sample.item.recipients)
            EXPECT_NE(recipients.find(sampleText(r.properties, 0x3003)), std::string::npos);
        EXPECT_NE(slurp(dir / "Message.txt").find(e.body), std::string::npos) << e.subject;
        std::size_t k = 0;
        for (const Attachment& a : e.sample.item.attachments) {
            ++k;
            if (a.embedded) {
                const fs::path inner = dir / "Attachments" /
                                       ("Attachment0000" + std::to_string(k)) / "Message00001" /
                                       "OutlookHeaders.txt";
                EXPECT_NE(slurp(inner).find(sampleText(a.embedded->properties, 0x0037)),
                          std::string::npos);
                continue;
            }
            const fs::path file =
                dir / "Attachments" / (std::to_string(k) + "_" + sampleText(a.properties, 0x3707));
            EXPECT_EQ(test::readFile(file.string()), a.data) << file;
        }
        ++checked;
    }
    EXPECT_GE(checked, 6u);
}

TEST_P(PeerReaders, ReadpstExportsEveryMailWithItsAttachments) {
    if (!test::haveTool("readpst")) GTEST_SKIP() << "readpst is not installed (package pst-utils)";
    const std::string out = dir_.file("readpst");
    fs::create_directories(out);
    std::string log;
    ASSERT_EQ(test::runCommand("readpst -q -j 0 -S -o '" + out + "' '" + path_ + "'", &log), 0)
        << log;
    // Message files are named by number; attachments are "<number>-<name>" beside them.
    std::map<std::string, fs::path> bySubject;
    for (const auto& f : fs::recursive_directory_iterator(out)) {
        if (!f.is_regular_file() || f.path().filename().string().find('-') != std::string::npos)
            continue;
        const std::string text = slurp(f.path());
        const auto at = text.find("\nSubject: ");
        if (at == std::string::npos) continue;
        bySubject[text.substr(at + 10, text.find('\n', at + 10) - at - 10)] = f.path();
    }
    std::size_t mails = 0;
    for (const Expected& e : expected_) {
        if (e.sample.placement != SamplePlacement::Live || !isMail(e)) continue;
        ASSERT_TRUE(bySubject.count(e.subject)) << "missing: " << e.subject;
        const fs::path file = bySubject[e.subject];
        const std::string text = slurp(file);
        EXPECT_NE(text.find("From: \"" + e.sender + "\" <" + e.senderEmail + ">"),
                  std::string::npos)
            << text.substr(0, 300);
        EXPECT_NE(text.find("To: " + sampleText(e.sample.item.recipients[0].properties, 0x3001)),
                  std::string::npos);
        EXPECT_NE(text.find(e.body.substr(0, 60)), std::string::npos);
        for (const Attachment& a : e.sample.item.attachments) {
            if (a.embedded) continue;
            const fs::path data = file.parent_path() / (file.filename().string() + "-" +
                                                        sampleText(a.properties, 0x3707));
            EXPECT_EQ(test::readFile(data.string()), a.data) << data;
        }
        ++mails;
    }
    EXPECT_GE(mails, 6u);
}

std::string encodingName(const ::testing::TestParamInfo<Encoding>& info) {
    const char* names[] = {"Plain", "Permute", "Cyclic", "Pages4k"};
    return names[static_cast<int>(info.param)];
}
INSTANTIATE_TEST_SUITE_P(Encodings, PeerReaders,
                         ::testing::Values(Encoding::Plain, Encoding::Permute, Encoding::Cyclic,
                                           Encoding::Pages4k),
                         encodingName);

}  // namespace
}  // namespace brevik::pst
