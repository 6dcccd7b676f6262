// JSON written as it is produced, so that a listing of a million items never sits in memory as
// one document. Indented output matches what nlohmann's dump(2) prints; compact output matches
// dump() and suits JSON lines.
#pragma once

#include <charconv>
#include <concepts>
#include <cstdint>
#include <iosfwd>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace brevik::cli {

// Appends `text` as a JSON string literal. Texts from damaged files need not be valid UTF-8:
// each invalid sequence becomes U+FFFD.
void appendJsonString(std::string& out, std::string_view text);

class JsonWriter {
  public:
    enum class Layout { Indented, Compact };
    JsonWriter(std::ostream& out, Layout layout);
    // A writer for a run of elements of the array open in `context` (or of top-level values),
    // written apart from it, on another thread say, and placed with `placeElements`; it keeps its
    // text until then.
    struct Apart {};
    JsonWriter(const JsonWriter& context, Apart);
    // The same, writing into `buffer` (emptied first): a buffer taken back from an earlier part
    // keeps its memory.
    JsonWriter(const JsonWriter& context, Apart, std::string buffer);
    ~JsonWriter();  // flushes
    JsonWriter(const JsonWriter&) = delete;
    JsonWriter& operator=(const JsonWriter&) = delete;

    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    // The name of the next member of the open object.
    JsonWriter& key(std::string_view name);

    void value(std::string_view text);
    void value(const char* text) { value(std::string_view(text)); }
    void value(const std::string& text) { value(std::string_view(text)); }
    void value(bool b);
    template <std::integral T>
    requires(!std::same_as<T, bool>) void value(T n) {
        beforeValue();
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
        buffer_.append(digits, static_cast<std::size_t>(end - digits));
        afterValue();
    }
    // A small document built elsewhere, placed at the current position.
    void value(const nlohmann::json& j);

    template <typename T>
    void field(std::string_view name, const T& v) {
        key(name);
        value(v);
    }

    // Writes what is buffered to the stream.
    void flush();

    // Room for `bytes` of text before it is flushed or taken.
    void reserve(std::size_t bytes) { buffer_.reserve(bytes); }
    // For a writer made `Apart`: its text and the number of elements in it.
    std::string takeText() { return std::move(buffer_); }
    std::uint32_t elements() const { return levels_.empty() ? 0 : levels_.back().members; }
    // Places the text of `count` elements written apart, as if written here.
    void placeElements(std::string_view text, std::uint32_t count);

  private:
    struct Level {
        bool object;
        std::uint32_t members;
    };
    void begin(char bracket, bool object);
    void end(char bracket);
    void beforeValue();
    void afterValue();
    void newline(std::size_t depth);

    std::ostream* out_;  // null for a writer made apart
    Layout layout_;
    std::string buffer_;
    std::vector<Level> levels_;
    bool keyPending_ = false;
};

// Prints `j` as an indented document followed by a newline.
void printJson(std::ostream& out, const nlohmann::json& j);

}  // namespace brevik::cli
