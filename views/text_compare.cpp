#include "views/text_compare.h"

#include <QLocale>
#include <QRegularExpression>

namespace brevik::views {

QCollator listCollator() {
    QCollator collator{QLocale()};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    return collator;
}

QString subjectWithoutPrefixes(const QString& subject) {
    // The prefixes of the common mail programs in their languages, repeated or numbered
    // ("RE[2]:").
    static const QRegularExpression prefixes(
        QStringLiteral(R"(^\s*(?:(?:re|fw|fwd|aw|wg|sv|vs|vb|tr|rv|enc|odp|antw|doorst|ynt|ilt))"
                       R"((?:\[\d+\])?\s*:\s*)+)"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = prefixes.match(subject);
    return m.hasMatch() ? subject.mid(m.capturedLength()) : subject;
}

std::string foldForSearch(std::string_view utf8) {
    bool ascii = true;
    for (char c : utf8)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii) {
        std::string out(utf8);
        for (char& c : out)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return out;
    }
    const QString decomposed = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()))
                                   .normalized(QString::NormalizationForm_KD);
    QString folded;
    folded.reserve(decomposed.size());
    for (QChar c : decomposed) {
        if (c.category() == QChar::Mark_NonSpacing) continue;
        // Letters that carry their stroke or ligature in the letter itself.
        switch (c.unicode()) {
            case 0x00D8:
            case 0x00F8:
                folded += QLatin1Char('o');
                continue;  // Ø ø
            case 0x0141:
            case 0x0142:
                folded += QLatin1Char('l');
                continue;  // Ł ł
            case 0x0110:
            case 0x0111:
                folded += QLatin1Char('d');
                continue;  // Đ đ
            case 0x00C6:
            case 0x00E6:
                folded += QLatin1String("ae");
                continue;  // Æ æ
            case 0x0152:
            case 0x0153:
                folded += QLatin1String("oe");
                continue;  // Œ œ
            case 0x00DE:
            case 0x00FE:
                folded += QLatin1String("th");
                continue;  // Þ þ
            default:
                break;
        }
        folded += c;
    }
    return folded.toCaseFolded().toStdString();
}

}  // namespace brevik::views
