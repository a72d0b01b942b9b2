#pragma once

#include <QChar>
#include <QLocale>
#include <QString>

#include <optional>

// Decimal and grouping characters and currency digits of the user's region, read once at
// start-up. Before they are read the U.S. values hold.
struct RegionalSettings {
    QChar decimal = QLatin1Char('.');
    QChar grouping = QLatin1Char(',');
    int currencyDigits = 2;

    bool operator==(const RegionalSettings&) const = default;

    static RegionalSettings fromLocale(const QLocale& locale = QLocale::system());
};

// The two display choices: 1 formats with U.S. rules, 2 with the regional settings.
enum : int { kUsFormat = 1, kRegionalFormat = 2 };

// Plain fixed-point text: optional '-', integer digits and, with decimals > 0, '.' and
// exactly that many digits; rounded, never an exponent; padded on the left to `width`.
QString fixedPointText(double value, int width, int decimals);

// ',' grouping and '.' decimal point whatever the region.
QString formatUs(double value, int width, int decimals);

// Applies the numbers' choice and the money choice to values and typed text.
class NumberFormatter {
public:
    NumberFormatter() = default;
    NumberFormatter(RegionalSettings regional, int currencyFormat, int numericFormat)
        : m_regional(regional), m_currencyFormat(currencyFormat), m_numericFormat(numericFormat) {}

    const RegionalSettings& regional() const { return m_regional; }
    void setRegional(const RegionalSettings& r) { m_regional = r; }
    int currencyFormat() const { return m_currencyFormat; }
    void setCurrencyFormat(int setting) { m_currencyFormat = setting; }
    int numericFormat() const { return m_numericFormat; }
    void setNumericFormat(int setting) { m_numericFormat = setting; }

    // Quantities and other plain numbers, following the numeric format setting.
    QString formatNumber(double value, int width, int decimals) const;
    // Money, following the currency format setting; never a currency symbol.
    QString formatMoney(double value, int width) const;
    // Money rounded to whole units, grouped as formatMoney groups it: for a column too
    // narrow for the cents.
    QString formatMoneyWhole(double value, int width) const;

    // Typed money or quantity text turned into plain number text ('.' as the only decimal
    // point, no grouping), under the given setting (1 U.S., otherwise regional).
    QString readMoneyText(const QString& text, int setting) const;
    // Convenience: read under the setting and convert; nullopt when it is no number.
    std::optional<double> moneyValue(const QString& text) const;
    std::optional<double> quantityValue(const QString& text) const;
    // Quantity as stored: the text read under the numeric setting must be a whole number.
    std::optional<int> quantityInteger(const QString& text) const;

private:
    QString groupRegional(QString text, int decimals) const;

    RegionalSettings m_regional;
    int m_currencyFormat = kUsFormat;
    int m_numericFormat = kUsFormat;
};

// Plain number readers: the whole text must be the number. A floating-point number is an
// optional sign, digits, optionally '.' and digits, optionally an exponent (E or e, optional
// sign, digits); an integer is an optional sign and digits within the int range.
std::optional<double> parseFloatText(const QString& text);
std::optional<int> parseIntegerText(const QString& text);

// Small text helpers. Only spaces count as blanks.
QString trimSpaces(const QString& text);
// Trims, removes every `ch`, then cuts to maxLength.
QString removeChar(const QString& text, QChar ch, int maxLength);
QString padRight(const QString& text, int length);
QString padLeft(const QString& text, int length);
QString repeatChar(QChar ch, int count);
