#include "formats/date_format.h"

#include <QStringList>

#include <charconv>

namespace {
struct FormatRow {
    const char* menu;
    char separator;
    const char* withZeros;
    const char* withoutZeros;
};

constexpr FormatRow kFormats[kDateFormatCount] = {
    {"mm/dd/yy", '/', "mm/dd/yy", "m/d/yy"},       {"mm-dd-yy", '-', "mm/dd/yy", "m/d/yy"},
    {"mm.dd.yy", '.', "mm/dd/yy", "m/d/yy"},       {"dd/mm/yy", '/', "dd/mm/yy", "d/m/yy"},
    {"dd-mm-yy", '-', "dd/mm/yy", "d/m/yy"},       {"dd.mm.yy", '.', "dd/mm/yy", "d/m/yy"},
    {"mm/dd/yyyy", '/', "mm/dd/yyyy", "m/d/yyyy"}, {"mm-dd-yyyy", '-', "mm/dd/yyyy", "m/d/yyyy"},
    {"mm.dd.yyyy", '.', "mm/dd/yyyy", "m/d/yyyy"}, {"dd/mm/yyyy", '/', "dd/mm/yyyy", "d/m/yyyy"},
    {"dd-mm-yyyy", '-', "dd/mm/yyyy", "d/m/yyyy"}, {"dd.mm.yyyy", '.', "dd/mm/yyyy", "d/m/yyyy"},
};

// The parts of a pattern in order, e.g. {"m", "d", "yy"}.
QStringList patternParts(const QString& pattern) {
    return pattern.split(QLatin1Char('/'), Qt::SkipEmptyParts);
}

std::optional<int> smallNumber(QStringView digits) {
    if (digits.isEmpty() || digits.size() > 4)
        return std::nullopt;
    int v = 0;
    for (QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        v = v * 10 + (c.unicode() - '0');
    }
    return v;
}
} // namespace

int windowedYear(int twoDigitYear, const QDate& today) {
    const int lowest = today.year() - 80;
    int year = (lowest / 100) * 100 + twoDigitYear;
    if (year < lowest)
        year += 100;
    return year;
}

QString DateFormat::format(const QDate& date) const {
    if (!date.isValid())
        return {};
    QString out;
    const QStringList parts = patternParts(pattern);
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (i > 0)
            out += separator;
        const QString& p = parts[i];
        const QChar kind = p.isEmpty() ? QChar() : p[0].toLower();
        const bool twoDigits = p.size() >= 2;
        if (kind == QLatin1Char('m'))
            out += twoDigits ? QStringLiteral("%1").arg(date.month(), 2, 10, QLatin1Char('0'))
                             : QString::number(date.month());
        else if (kind == QLatin1Char('d'))
            out += twoDigits ? QStringLiteral("%1").arg(date.day(), 2, 10, QLatin1Char('0'))
                             : QString::number(date.day());
        else if (kind == QLatin1Char('y'))
            out += p.size() >= 4
                       ? QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0'))
                       : QStringLiteral("%1").arg(date.year() % 100, 2, 10, QLatin1Char('0'));
    }
    return out;
}

std::optional<QDate> DateFormat::parse(const QString& text, const QDate& today) const {
    const QStringList parts = patternParts(pattern);
    const QStringList fields = text.trimmed().split(separator);
    if (parts.size() != 3 || fields.size() != 3)
        return std::nullopt;
    int day = 0, month = 0, year = -1;
    for (int i = 0; i < 3; ++i) {
        const QString field = fields[i].trimmed();
        const auto v = smallNumber(field);
        if (!v)
            return std::nullopt;
        const QChar kind = parts[i][0].toLower();
        if (kind == QLatin1Char('d'))
            day = *v;
        else if (kind == QLatin1Char('m'))
            month = *v;
        else if (kind == QLatin1Char('y'))
            year = field.size() <= 2 ? windowedYear(*v, today) : *v;
    }
    if (year < 1 || month < 1 || month > 12 || day < 1)
        return std::nullopt;
    const QDate date(year, month, day);
    if (!date.isValid())
        return std::nullopt;
    return date;
}

std::optional<DateFormat> numberedDateFormat(int number, bool leadingZeros) {
    if (number < 1 || number > kDateFormatCount)
        return std::nullopt;
    const FormatRow& row = kFormats[number - 1];
    return DateFormat{QLatin1Char(row.separator),
                      QString::fromLatin1(leadingZeros ? row.withZeros : row.withoutZeros)};
}

QString dateFormatMenuText(int number) {
    if (number < 1 || number > kDateFormatCount)
        return {};
    return QString::fromLatin1(kFormats[number - 1].menu);
}

DateFormat localeDateFormat(const QLocale& locale) {
    // Qt spells the short format with M for months; turn it into our letters and take the
    // first character between the parts as the separator.
    const QString qt = locale.dateFormat(QLocale::ShortFormat);
    QStringList parts;
    QChar separator;
    qsizetype i = 0;
    while (i < qt.size()) {
        const QChar c = qt[i];
        if (c == QLatin1Char('\'')) { // quoted literal
            const qsizetype close = qt.indexOf(QLatin1Char('\''), i + 1);
            i = close < 0 ? qt.size() : close + 1;
            continue;
        }
        const QChar lower = c.toLower();
        if (lower == QLatin1Char('d') || lower == QLatin1Char('m') || lower == QLatin1Char('y')) {
            qsizetype run = i;
            while (run < qt.size() && qt[run] == c)
                ++run;
            const qsizetype n = run - i;
            if (!(lower == QLatin1Char('d') && n > 2)) { // ddd and dddd are day names
                if (lower == QLatin1Char('y'))
                    parts << (n >= 3 ? QStringLiteral("yyyy") : QStringLiteral("yy"));
                else
                    parts << QString(n >= 2 ? 2 : 1, lower);
            }
            i = run;
            continue;
        }
        if (!c.isLetterOrNumber() && !c.isSpace() && separator.isNull() && !parts.isEmpty())
            separator = c;
        ++i;
    }
    if (parts.size() != 3 || separator.isNull())
        return DateFormat{};
    return DateFormat{separator, parts.join(QLatin1Char('/'))};
}

void DisplayFormats::apply(int dateFormatNumber, bool leadingZeros) {
    m_number = dateFormatNumber;
    m_leadingZeros = leadingZeros;
    m_format = numberedDateFormat(m_number, m_leadingZeros).value_or(localeDateFormat(m_locale));
}

bool DisplayFormats::chooseDateFormat(int number) {
    const auto chosen = numberedDateFormat(number, m_leadingZeros);
    if (!chosen || number == m_number)
        return false;
    m_number = number;
    m_format = *chosen;
    return true;
}

void DisplayFormats::toggleLeadingZeros() {
    m_leadingZeros = !m_leadingZeros;
    if (const auto f = numberedDateFormat(m_number, m_leadingZeros))
        m_format.pattern = f->pattern;
}
