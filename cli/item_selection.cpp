#include "cli/item_selection.h"

#include <algorithm>
#include <ostream>

#include "message/item_summary.h"

namespace brevik::cli {
namespace {

// A decimal number of 1 to 4294967295 written with digits only.
std::optional<std::uint32_t> parseNumber(const std::string& text) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    std::uint64_t n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (n == 0 || n > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<std::uint32_t>(n);
}

}  // namespace

std::optional<std::vector<ItemRange>> parseItemList(const std::string& text, std::string& why) {
    std::vector<ItemRange> ranges;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string part = text.substr(start, comma - start);
        const std::size_t dash = part.find('-');
        const auto first = parseNumber(part.substr(0, dash));
        const auto last = dash == std::string::npos ? first : parseNumber(part.substr(dash + 1));
        if (!first || !last) {
            why = "'" + part + "' is not an item number or a range of them (e.g. 3,5,10-20)";
            return std::nullopt;
        }
        if (*last < *first) {
            why = "the range '" + part + "' runs backwards";
            return std::nullopt;
        }
        ranges.push_back({*first, *last});
        if (comma == text.size()) return ranges;
        start = comma + 1;
    }
}

std::optional<std::vector<std::uint32_t>> selectItems(const RecoveredBase& base,
                                                      const std::vector<ItemRange>& ranges,
                                                      const std::string& file, std::ostream& err) {
    // Listed items, by number (numbers rise with the index).
    std::vector<std::pair<std::uint32_t, std::uint32_t>> listed;
    const std::uint32_t count = std::min<std::uint32_t>(
        base.itemCount, static_cast<std::uint32_t>(
                            std::min(base.itemSummaries.size(), base.messageEntries.size())));
    for (std::uint32_t i = 0; i < count; ++i) {
        const ItemSummary& s = base.itemSummaries[i];
        if (s.hiddenCode != 201 && !base.messageEntries[i].loadFailed)
            listed.emplace_back(s.number, i);
    }
    std::sort(listed.begin(), listed.end());
    const std::uint32_t highest = listed.empty() ? 0 : listed.back().first;

    auto firstAtOrAfter = [&listed](std::uint32_t number) {
        return std::lower_bound(listed.begin(), listed.end(),
                                std::pair<std::uint32_t, std::uint32_t>{number, 0});
    };
    for (const ItemRange& r : ranges) {
        const auto at = firstAtOrAfter(r.first);
        if (r.first == r.last && (at == listed.end() || at->first != r.first)) {
            err << "brevik-cli: '" << file << "' has no item number " << r.first << "\n";
            return std::nullopt;
        }
        if (r.last > highest) {
            err << "brevik-cli: '" << file << "' lists items up to number " << highest << ", not "
                << r.first << "-" << r.last << "\n";
            return std::nullopt;
        }
    }
    // Overlapping ranges merged first, so each listed item is visited once.
    std::vector<ItemRange> merged(ranges);
    std::sort(merged.begin(), merged.end(),
              [](const ItemRange& a, const ItemRange& b) { return a.first < b.first; });
    std::vector<std::uint32_t> selection;
    std::uint64_t next = 0;  // numbers below this one are done
    for (const ItemRange& r : merged) {
        if (r.last < next) continue;
        const auto from =
            firstAtOrAfter(static_cast<std::uint32_t>(std::max<std::uint64_t>(r.first, next)));
        for (auto it = from; it != listed.end() && it->first <= r.last; ++it)
            selection.push_back(it->second);
        next = std::uint64_t{r.last} + 1;
    }
    std::sort(selection.begin(), selection.end());
    return selection;
}

}  // namespace brevik::cli
