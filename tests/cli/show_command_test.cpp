// brevik-cli show and list name what an item is and print the fields of its kind.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/cli_run.h"
#include "support/corpus.h"

namespace brevik::cli {
namespace {

TEST(ShowCommand, PrintsTheFieldsOfAppointmentsListsAndContacts) {
    BREVIK_REQUIRE_CORPUS();
    const std::string file = test::corpusPath("pst/dist-list.pst");
    auto show = [&](int number) {
        const auto run = test::runCli({"show", "--json", file, std::to_string(number)});
        EXPECT_EQ(run.status, 0) << run.err;
        return nlohmann::json::parse(run.out);
    };
    const auto meeting = show(1);
    EXPECT_EQ(meeting["kindName"], "appointment");
    EXPECT_EQ(meeting["messageClass"], "IPM.Appointment");
    EXPECT_EQ(meeting["start"], "2016-08-02T15:00:00Z");
    EXPECT_EQ(meeting["recurrence"]["text"], "Every Tuesday from 8:00 to 8:30, from 2 August 2016");
    EXPECT_EQ(meeting["recurrence"]["deleted"], nlohmann::json{"2016-08-09"});
    EXPECT_EQ(meeting["recurrence"]["exceptions"].size(), 2u);

    const auto list = show(3);
    EXPECT_EQ(list["kindName"], "distlist");
    ASSERT_EQ(list["members"].size(), 3u);
    EXPECT_EQ(list["members"][0]["address"], "contact1@rjohnson.id.au");
    EXPECT_TRUE(list["members"][0]["linked"]);  // points at the contact beside it

    const auto contact = show(4);
    EXPECT_EQ(contact["emails"][0]["address"], "contact1@rjohnson.id.au");
    EXPECT_EQ(contact["name"]["fileAs"], "1, contact name");

    const auto text = test::runCli({"show", file, "1"}).out;
    EXPECT_NE(text.find("Recurrence:  Every Tuesday"), std::string::npos) << text;
    const auto listing = nlohmann::json::parse(test::runCli({"list", "--json", file}).out);
    EXPECT_EQ(listing["items"][2]["messageClass"], "IPM.DistList");
}

}  // namespace
}  // namespace brevik::cli
