#include "support/written_store.h"

#include <gtest/gtest.h>

namespace brevik::test {

pst::Item mailItem(const std::string& subject, pst::PropertyList more) {
    pst::Item item;
    item.properties = {pst::unicodeProperty(0x001A, "IPM.Note"),
                       pst::unicodeProperty(0x0037, subject),
                       pst::unicodeProperty(0x0042, "Sender")};
    for (pst::Property& p : more)
        item.properties.push_back(std::move(p));
    return item;
}

bool writeInbox(const std::string& path, const std::vector<pst::Item>& items,
                const std::vector<pst::Item>& associated, const pst::PstWriterOptions& options) {
    pst::WriteStatus status;
    auto writer = pst::PstWriter::create(path, options, status);
    if (!writer) {
        ADD_FAILURE() << status.message;
        return false;
    }
    const auto inbox = writer->addFolder(pst::kTopOfPersonalFolders, {"Inbox", "IPF.Note", {}, {}});
    bool ok = inbox.has_value();
    for (const pst::Item& item : items)
        ok = ok && writer->addItem(*inbox, item);
    for (const pst::Item& item : associated)
        ok = ok && writer->addItem(*inbox, item, true);
    ok = writer->finish() && ok;
    if (!ok) ADD_FAILURE() << writer->status().message;
    return ok;
}

}  // namespace brevik::test
