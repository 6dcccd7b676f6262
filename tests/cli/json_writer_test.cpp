#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <random>
#include <sstream>

#include "cli/json_writer.h"

namespace brevik::cli {
namespace {

std::string dumped(const nlohmann::json& j, int indent) {
    return j.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

// Texts from damaged files: random bytes, weighted towards control characters and the lead and
// continuation bytes that make invalid or cut-off UTF-8.
TEST(JsonWriter, EscapesAndRepairsTextsAsTheLibraryDoes) {
    std::mt19937 random(7);
    const std::string pool = "\x01\x1f\"\\\b\n\tA\x7f\x80\xbf\xc2\xdf\xe0\xed\xef\xf0\xf4\xf5\xff";
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        // Runs of plain letters, long enough to be taken eight bytes at a time.
        const int length = static_cast<int>(random() % 40);
        for (int k = 0; k < length; ++k) {
            const auto pick = random() % 6;
            text += pick == 0   ? static_cast<char>(random() % 256)
                    : pick == 1 ? pool[random() % pool.size()]
                                : static_cast<char>('a' + random() % 26);
        }
        std::string ours;
        appendJsonString(ours, text);
        ASSERT_EQ(ours + "\n", dumped(text, -1)) << ::testing::PrintToString(text);
    }
}

TEST(JsonWriter, StreamedDocumentsMatchTheLibrarysLayouts) {
    const nlohmann::json small = {{"a", nlohmann::json::array({1, "x"})}, {"b", {{"c", true}}}};
    const nlohmann::json whole = {{"empty", nlohmann::json::array()},
                                  {"emptyObject", nlohmann::json::object()},
                                  {"items", nlohmann::json::array({{{"n", 1}, {"s", "\xff"}}, 2})},
                                  {"small", small},
                                  {"z", -5},
                                  {"z\"\xc3\xa9", 1}};  // a name that needs escaping
    auto write = [&](JsonWriter::Layout layout) {
        std::ostringstream out;
        {
            JsonWriter w(out, layout);
            w.beginObject();
            w.key("empty").beginArray();
            w.endArray();
            w.key("emptyObject").beginObject();
            w.endObject();
            w.key("items").beginArray();
            w.beginObject();
            w.field("n", 1);
            w.field("s", "\xff");
            w.endObject();
            w.value(2u);
            w.endArray();
            w.field("small", small);
            w.field("z", -5);
            w.field("z\"\xc3\xa9", 1);
            w.endObject();
        }
        return out.str();
    };
    EXPECT_EQ(write(JsonWriter::Layout::Indented), dumped(whole, 2));
    EXPECT_EQ(write(JsonWriter::Layout::Compact), dumped(whole, -1));
}

// Elements written apart (as threads do) and placed in order read as if written in place,
// whichever parts are empty.
TEST(JsonWriter, ElementsWrittenApartPlaceAsIfWrittenInPlace) {
    const nlohmann::json items = nlohmann::json::array({{{"n", 1}}, {{"n", 2}}, 3, {{"n", 4}}});
    const std::vector<std::vector<int>> splits = {{4}, {0, 4}, {1, 0, 3}, {2, 2, 0}, {1, 1, 1, 1}};
    for (const auto layout : {JsonWriter::Layout::Indented, JsonWriter::Layout::Compact})
        for (const auto& split : splits) {
            std::ostringstream out;
            {
                JsonWriter w(out, layout);
                w.beginObject();
                w.key("items").beginArray();
                int next = 0;
                for (int size : split) {
                    JsonWriter part(w, JsonWriter::Apart{});
                    for (int k = 0; k < size; ++k, ++next)
                        part.value(items[next]);
                    const std::uint32_t n = part.elements();
                    w.placeElements(part.takeText(), n);
                }
                w.endArray();
                w.endObject();
            }
            const int indent = layout == JsonWriter::Layout::Indented ? 2 : -1;
            EXPECT_EQ(out.str(), dumped({{"items", items}}, indent));
        }
}

}  // namespace
}  // namespace brevik::cli
