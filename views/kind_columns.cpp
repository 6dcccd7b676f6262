#include "views/kind_columns.h"

#include <cstdio>

#include "message/item_details.h"
#include "views/locale_dates.h"

namespace brevik::views {
namespace {

// As the Date column writes times: the user's locale, local time, the year in full.
std::string shown(const std::optional<std::uint64_t>& t) {
    return t ? localeDateTime(*t).toStdString() : std::string();
}

}  // namespace

std::unordered_map<std::uint32_t, KindColumns> readKindColumns(
    RecoveredBase& base, const std::vector<std::uint32_t>& items) {
    std::unordered_map<std::uint32_t, KindColumns> out;
    const NamedIds names(base);
    for (std::uint32_t i : items) {
        if (i >= base.itemSummaries.size()) continue;
        const ItemDetails d = readItemDetails(base, names, i, base.itemSummaries[i].type);
        KindColumns c;
        if (const auto& a = d.appointment) {
            c.location = a->location;
            c.start = shown(a->start);
            c.end = shown(a->end);
            c.startKey = a->start.value_or(0);
            c.endKey = a->end.value_or(0);
        } else if (const auto& t = d.task) {
            // A due date is a day, kept at some midnight.
            if (t->due) {
                const CivilDate d = contactDate(*t->due);
                char b[16];
                std::snprintf(b, sizeof b, "%04d-%02d-%02d", d.year, d.month, d.day);
                c.due = b;
            }
            c.dueKey = t->due.value_or(0);
            if (t->status) c.status = taskStatusName(*t->status);
            if (t->percentComplete) {
                c.percentKey = static_cast<int>(*t->percentComplete * 100 + 0.5);
                c.percent = std::to_string(c.percentKey) + "%";
            }
        } else if (const auto& j = d.journal) {
            c.type = j->type;
            c.start = shown(j->start);
            c.startKey = j->start.value_or(0);
        } else {
            continue;
        }
        out.emplace(i, std::move(c));
    }
    return out;
}

}  // namespace brevik::views
