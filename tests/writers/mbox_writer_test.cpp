// mboxrd quoting: a reader that removes one ">" from each quoted line gets the message back.
#include "writers/mbox/mbox_writer.h"

#include <gtest/gtest.h>

namespace brevik::mbox {
namespace {

TEST(MboxWriter, QuotesEveryFromLineOnceMore) {
    EXPECT_EQ(quoteFromLines("Subject: x\n\nFrom here\n>From there\n>>From far\nFrom\nA From\n"),
              "Subject: x\n\n>From here\n>>From there\n>>>From far\nFrom\nA From\n");
    EXPECT_EQ(quoteFromLines("no newline at end"), "no newline at end\n");
}

}  // namespace
}  // namespace brevik::mbox
