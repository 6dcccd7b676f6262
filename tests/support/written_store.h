// Small .pst files written by our own writer, for tests that need real items of a given shape.
#pragma once

#include <string>
#include <vector>

#include "writers/pst/store_model.h"
#include "writers/pst/store_writer.h"

namespace brevik::test {

// A mail item with a subject, a sender and the given further properties.
pst::Item mailItem(const std::string& subject, pst::PropertyList more = {});

// Writes `path` with one folder "Inbox" holding `items`, and `associated` in its associated
// contents table. False (with a test failure) when the writer fails.
bool writeInbox(const std::string& path, const std::vector<pst::Item>& items,
                const std::vector<pst::Item>& associated = {},
                const pst::PstWriterOptions& options = {});

}  // namespace brevik::test
