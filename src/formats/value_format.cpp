#include "formats/value_format.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {
constexpr int kMaxDecimals = 18;
constexpr int kMaxText = 255;

QChar firstOrSpace(const QString& s) {
    return s.isEmpty() ? QLatin1Char(' ') : s[0];
}

// Grouping from the right: the first separator leaves `decimals + 4` characters after it
// (the decimal part, the point and three digits), or 3 without decimals; then every four.
QString insertGrouping(QString text, int decimals, QChar separator) {
    qsizetype n = decimals > 0 ? decimals + 4 : 3;
    while (n < text.size()) {
        text.insert(text.size() - n, separator);
        n += 4;
    }
    // A separator right after the minus sign (three integer digits) is not wanted.
    if (text.size() > 1 && text[0] == QLatin1Char('-') && text[1] == separator)
        text.remove(1, 1);
    return text;
}
} // namespace

RegionalSettings RegionalSettings::fromLocale(const QLocale& locale) {
    RegionalSettings r;
    r.decimal = firstOrSpace(locale.decimalPoint());
    r.grouping = firstOrSpace(locale.groupSeparator());
    // Qt keeps the currency's digit count privately; it shows in a formatted amount.
    const QString amount = locale.toCurrencyString(0.0, QStringLiteral("#"));
    const qsizetype point = amount.indexOf(r.decimal);
    int digits = 0;
    if (point >= 0)
        for (qsizetype i = point + 1; i < amount.size() && amount[i].isDigit(); ++i)
            ++digits;
    r.currencyDigits = digits;
    return r;
}

QString fixedPointText(double value, int width, int decimals) {
    decimals = std::clamp(decimals, 0, kMaxDecimals);
    if (!std::isfinite(value))
        value = 0.0;
    char buf[400];
    const auto res =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    QString text = QString::fromLatin1(buf, res.ptr - buf);
    // -0.001 rounds to zero; "-0.00" would read as a negative amount.
    if (text.startsWith(QLatin1Char('-')) &&
        std::all_of(text.cbegin() + 1, text.cend(),
                    [](QChar c) { return c == QLatin1Char('0') || c == QLatin1Char('.'); }))
        text.remove(0, 1);
    return padLeft(text, width);
}

QString formatUs(double value, int width, int decimals) {
    decimals = std::clamp(decimals, 0, kMaxDecimals);
    const QString text =
        insertGrouping(fixedPointText(value, 0, decimals), decimals, QLatin1Char(','));
    return padLeft(text, width);
}

QString NumberFormatter::groupRegional(QString text, int decimals) const {
    if (m_regional.decimal != QLatin1Char('.')) {
        const qsizetype point = text.indexOf(QLatin1Char('.'));
        if (point >= 0)
            text[point] = m_regional.decimal;
    }
    return insertGrouping(std::move(text), decimals, m_regional.grouping);
}

QString NumberFormatter::formatNumber(double value, int width, int decimals) const {
    if (m_numericFormat == kUsFormat)
        return formatUs(value, width, decimals);
    decimals = std::clamp(decimals, 0, kMaxDecimals);
    return padLeft(groupRegional(fixedPointText(value, 0, decimals), decimals), width);
}

QString NumberFormatter::formatMoney(double value, int width) const {
    if (m_currencyFormat == kUsFormat)
        return formatUs(value, width, 2);
    const int decimals = std::clamp(m_regional.currencyDigits, 0, kMaxDecimals);
    return padLeft(groupRegional(fixedPointText(value, 0, decimals), decimals), width);
}

QString NumberFormatter::formatMoneyWhole(double value, int width) const {
    if (m_currencyFormat == kUsFormat)
        return formatUs(value, width, 0);
    return padLeft(groupRegional(fixedPointText(value, 0, 0), 0), width);
}

QString NumberFormatter::readMoneyText(const QString& text, int setting) const {
    QString plain = trimSpaces(text);
    if (setting == kUsFormat) {
        plain.remove(QLatin1Char(','));
        return plain;
    }
    plain.remove(m_regional.grouping);
    const qsizetype point = plain.indexOf(m_regional.decimal);
    if (point >= 0)
        plain[point] = QLatin1Char('.');
    return plain;
}

std::optional<double> NumberFormatter::moneyValue(const QString& text) const {
    return parseFloatText(readMoneyText(text, m_currencyFormat));
}

std::optional<double> NumberFormatter::quantityValue(const QString& text) const {
    return parseFloatText(readMoneyText(text, m_numericFormat));
}

std::optional<int> NumberFormatter::quantityInteger(const QString& text) const {
    return parseIntegerText(readMoneyText(text, m_numericFormat));
}

namespace {
// True when s[i..] starts a run of at least one digit; advances i past it.
bool digits(const QString& s, qsizetype& i) {
    const qsizetype start = i;
    while (i < s.size() && s[i] >= QLatin1Char('0') && s[i] <= QLatin1Char('9'))
        ++i;
    return i > start;
}

bool sign(const QString& s, qsizetype& i) {
    if (i < s.size() && (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-'))) {
        ++i;
        return true;
    }
    return false;
}
} // namespace

std::optional<double> parseFloatText(const QString& text) {
    qsizetype i = 0;
    sign(text, i);
    if (!digits(text, i))
        return std::nullopt;
    if (i < text.size() && text[i] == QLatin1Char('.')) {
        ++i;
        if (!digits(text, i))
            return std::nullopt;
    }
    if (i < text.size() && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        ++i;
        sign(text, i);
        if (!digits(text, i))
            return std::nullopt;
    }
    if (i != text.size())
        return std::nullopt;
    // The text is plain ASCII now; from_chars does not take a leading '+'.
    QByteArray ascii = text.toLatin1();
    if (ascii.startsWith('+'))
        ascii.remove(0, 1);
    double v = 0;
    const auto [ptr, ec] = std::from_chars(ascii.constData(), ascii.constData() + ascii.size(), v);
    if (ec != std::errc() || ptr != ascii.constData() + ascii.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<int> parseIntegerText(const QString& text) {
    qsizetype i = 0;
    sign(text, i);
    if (!digits(text, i) || i != text.size())
        return std::nullopt;
    QByteArray ascii = text.toLatin1();
    if (ascii.startsWith('+'))
        ascii.remove(0, 1);
    int v = 0;
    const auto [ptr, ec] = std::from_chars(ascii.constData(), ascii.constData() + ascii.size(), v);
    if (ec != std::errc() || ptr != ascii.constData() + ascii.size())
        return std::nullopt;
    return v;
}

QString trimSpaces(const QString& text) {
    qsizetype start = 0, end = text.size();
    while (start < end && text[start] == QLatin1Char(' '))
        ++start;
    while (end > start && text[end - 1] == QLatin1Char(' '))
        --end;
    return text.mid(start, end - start);
}

QString removeChar(const QString& text, QChar ch, int maxLength) {
    QString out = trimSpaces(text);
    out.remove(ch);
    return out.left(std::max(0, maxLength));
}

QString padRight(const QString& text, int length) {
    length = std::min(length, kMaxText);
    return text.size() >= length ? text : text + QString(length - text.size(), QLatin1Char(' '));
}

QString padLeft(const QString& text, int length) {
    length = std::min(length, kMaxText);
    return text.size() >= length ? text : QString(length - text.size(), QLatin1Char(' ')) + text;
}

QString repeatChar(QChar ch, int count) {
    return QString(std::clamp(count, 0, kMaxText), ch);
}
