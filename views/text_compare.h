// How the views order and match text: by the locale's collation, subjects without their reply
// and forward prefixes, and searches without regard to case or accents.
#pragma once

#include <QCollator>
#include <QString>
#include <string>
#include <string_view>

namespace brevik::views {

// The default locale's collation, ignoring case ("Łukasz" after "Lars", before "Søren").
QCollator listCollator();

// A subject without the "RE:", "FW:", "Fwd:", "AW:", "WG:", "SV:"... its replies and forwards
// added ("RE: FW: Budget" -> "Budget").
QString subjectWithoutPrefixes(const QString& subject);

// UTF-8 text folded for searching: lower case, accents dropped ("Zürich" -> "zurich",
// "Łódź" -> "lodz", "Straße" -> "strasse").
std::string foldForSearch(std::string_view utf8);

// Whether folded `haystack` holds folded `needle`.
inline bool containsFolded(std::string_view haystack, std::string_view needle) {
    return haystack.find(needle) != std::string_view::npos;
}

}  // namespace brevik::views
