#include "views/locale_dates.h"

#include <QDateTime>
#include <QLocale>

namespace brevik::views {

namespace {

constexpr std::int64_t kTicksPerMs = 10000;
constexpr std::int64_t kEpochMs = 11644473600000;  // 1601-01-01 to 1970-01-01

// "yy" alone becomes "yyyy"; a format that writes the year in full stays as it is.
QString fullYear(QString format) {
    if (format.contains(QLatin1String("yyyy"))) return format;
    return format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
}

}  // namespace

QString fourDigitYearFormat() {
    const QLocale locale;
    return fullYear(locale.dateFormat(QLocale::ShortFormat)) + QLatin1Char(' ') +
           locale.timeFormat(QLocale::ShortFormat);
}

QString localeDateTime(std::uint64_t utcFiletime) {
    if (utcFiletime == 0) return {};
    // One format per locale: a list asks for thousands of dates while it scrolls.
    thread_local QString localeName;
    thread_local QString format;
    const QLocale locale;
    if (locale.name() != localeName || format.isEmpty()) {
        localeName = locale.name();
        format = fourDigitYearFormat();
    }
    const auto ms = static_cast<std::int64_t>(utcFiletime / kTicksPerMs) - kEpochMs;
    return locale.toString(QDateTime::fromMSecsSinceEpoch(ms).toLocalTime(), format);
}

}  // namespace brevik::views
