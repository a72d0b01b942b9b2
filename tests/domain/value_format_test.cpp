#include "formats/value_format.h"

#include "qstring_printer.h"

#include <gtest/gtest.h>

namespace {
const RegionalSettings kGerman{QLatin1Char(','), QLatin1Char('.'), 2};
}

TEST(ValueFormat, UsFormatterExamples) {
    EXPECT_EQ(formatUs(1234567.891, 1, 2), "1,234,567.89");
    EXPECT_EQ(formatUs(-123, 1, 2), "-123.00");
    EXPECT_EQ(formatUs(-123456, 1, 0), "-123,456");
    EXPECT_EQ(formatUs(999, 1, 0), "999");
    EXPECT_EQ(formatUs(1000, 1, 0), "1,000");
    EXPECT_EQ(formatUs(-1000, 1, 2), "-1,000.00");
    EXPECT_EQ(formatUs(123456789, 1, 3), "123,456,789.000");
    EXPECT_EQ(formatUs(12.5, 8, 2), "   12.50");    // padded to the width
    EXPECT_EQ(formatUs(123456.0, 3, 0), "123,456"); // never cut to the width
}

TEST(ValueFormat, UsMoney) {
    const NumberFormatter us;
    EXPECT_EQ(us.formatMoney(0, 1), "0.00");
    EXPECT_EQ(us.formatMoney(999.999, 1), "1,000.00");
    EXPECT_EQ(us.formatMoney(-0.5, 1), "-0.50");
    EXPECT_EQ(us.formatMoney(-1000, 1), "-1,000.00");
    // Rounding to zero must not leave a minus sign behind.
    EXPECT_EQ(us.formatMoney(-0.001, 1), "0.00");
    EXPECT_EQ(us.formatMoney(std::numeric_limits<double>::quiet_NaN(), 1), "0.00");
}

TEST(ValueFormat, RegionalRulesWithGermanStyleSettings) {
    NumberFormatter f(kGerman, kRegionalFormat, kRegionalFormat);
    EXPECT_EQ(f.formatMoney(1234567.5, 1), "1.234.567,50");
    EXPECT_EQ(f.formatNumber(1234567, 1, 0), "1.234.567");
    EXPECT_EQ(f.formatNumber(2.5, 1, 1), "2,5");
    // Under the U.S. choices the region is ignored.
    f.setCurrencyFormat(kUsFormat);
    f.setNumericFormat(kUsFormat);
    EXPECT_EQ(f.formatMoney(1234567.5, 1), "1,234,567.50");
    EXPECT_EQ(f.formatNumber(1234567, 1, 0), "1,234,567");

    // Currency digits decide the decimals and where grouping starts.
    NumberFormatter yen({QLatin1Char('.'), QLatin1Char(','), 0}, kRegionalFormat, kUsFormat);
    EXPECT_EQ(yen.formatMoney(1234567.4, 1), "1,234,567");
    NumberFormatter three({QLatin1Char('.'), QLatin1Char(' '), 3}, kRegionalFormat, kUsFormat);
    EXPECT_EQ(three.formatMoney(1234.5, 1), "1 234.500");
}

TEST(ValueFormat, ThreeDigitNegativesNeverShowAGroupingCharacterAfterTheMinus) {
    const RegionalSettings regions[] = {{'.', ',', 2}, kGerman, {',', ' ', 2}, {'.', '\'', 2}};
    for (const RegionalSettings& r : regions) {
        SCOPED_TRACE(QString(r.grouping).toStdString());
        const NumberFormatter f(r, kRegionalFormat, kRegionalFormat);
        for (double v : {-123.0, -999.0, -100.0, -123.45}) {
            const QString money = f.formatMoney(v, 1);
            const QString number = f.formatNumber(v, 1, 0);
            EXPECT_NE(money[1], r.grouping) << money.toStdString();
            EXPECT_NE(number[1], r.grouping) << number.toStdString();
        }
        EXPECT_EQ(f.formatNumber(-123456, 1, 0), QString("-123") + r.grouping + "456");
    }
    EXPECT_EQ(formatUs(-999.5, 1, 0), "-1,000"); // rounding up to four digits groups again
}

TEST(ValueFormat, MoneyTextReader) {
    const NumberFormatter german(kGerman, kRegionalFormat, kUsFormat);
    // Regional: 1.234,5 is 1234.5 and shows as 1.234,50.
    EXPECT_EQ(german.readMoneyText(" 1.234,5 ", kRegionalFormat), "1234.5");
    EXPECT_EQ(german.formatMoney(*german.moneyValue("1.234,5"), 1), "1.234,50");
    // U.S.: the same text is 1.2345 and shows as 1.23.
    const NumberFormatter us(kGerman, kUsFormat, kUsFormat);
    EXPECT_EQ(us.readMoneyText("1.234,5", kUsFormat), "1.2345");
    EXPECT_EQ(us.formatMoney(*us.moneyValue("1.234,5"), 1), "1.23");
    EXPECT_EQ(us.readMoneyText("1,000,000.25", kUsFormat), "1000000.25");
    // Only the first regional decimal character becomes a point.
    EXPECT_EQ(german.readMoneyText("1,2,3", kRegionalFormat), "1.2,3");
    EXPECT_FALSE(german.moneyValue("1,2,3"));
    // A space as grouping character is removed like any other.
    const NumberFormatter spaced({QLatin1Char(','), QLatin1Char(' '), 2}, kRegionalFormat,
                                 kRegionalFormat);
    EXPECT_EQ(spaced.readMoneyText("1 234 567,5", kRegionalFormat), "1234567.5");
}

TEST(ValueFormat, QuantitiesRoundAndTotals) {
    const NumberFormatter us;
    // Leaving the quantity box with 2.6 shows 3; Update then refuses 2.6 as an integer.
    EXPECT_EQ(us.formatNumber(*us.quantityValue("2.6"), 1, 0), "3");
    EXPECT_FALSE(us.quantityInteger("2.6"));
    EXPECT_EQ(us.quantityInteger("1,200"), 1200);
    // Totals: 3 x 1,000.00
    EXPECT_EQ(us.formatMoney(*us.quantityInteger("3") * *us.moneyValue("1,000.00"), 1) + " ",
              "3,000.00 ");
}

TEST(ValueFormat, PlainNumberReadersTakeOnlyWholeNumbers) {
    EXPECT_EQ(parseFloatText("12"), 12.0);
    EXPECT_EQ(parseFloatText("-12.50"), -12.5);
    EXPECT_EQ(parseFloatText("+1.5e3"), 1500.0);
    EXPECT_EQ(parseFloatText("2E-2"), 0.02);
    for (const char* bad : {"", " 1", "1 ", "1.", ".5", "1e", "1e+", "--1", "1,5", "abc", "0x10",
                            "1.5.5", "nan", "inf", "1e999"})
        EXPECT_FALSE(parseFloatText(bad)) << bad;

    EXPECT_EQ(parseIntegerText("42"), 42);
    EXPECT_EQ(parseIntegerText("-7"), -7);
    EXPECT_EQ(parseIntegerText("+7"), 7);
    for (const char* bad : {"", "4.0", "1e2", "99999999999", " 4", "4a"})
        EXPECT_FALSE(parseIntegerText(bad)) << bad;
}

TEST(ValueFormat, SmallTextHelpers) {
    EXPECT_EQ(trimSpaces("  a b  "), "a b");
    EXPECT_EQ(trimSpaces("\ta\t"), "\ta\t"); // only spaces are blanks
    EXPECT_EQ(removeChar("  a,b,c,d  ", ',', 3), "abc");
    EXPECT_EQ(removeChar("x", ',', -1), "");
    EXPECT_EQ(padRight("ab", 4), "ab  ");
    EXPECT_EQ(padLeft("ab", 4), "  ab");
    EXPECT_EQ(padLeft("abcdef", 4), "abcdef");
    EXPECT_EQ(repeatChar('-', 3), "---");
    EXPECT_EQ(repeatChar('-', 0), "");
    EXPECT_EQ(repeatChar('-', -2), "");
    EXPECT_EQ(fixedPointText(3.14159, 8, 3), "   3.142");
    EXPECT_EQ(fixedPointText(1e15, 1, 0), "1000000000000000"); // never an exponent
}

TEST(ValueFormat, RegionalSettingsFromTheLocale) {
    const RegionalSettings de =
        RegionalSettings::fromLocale(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(de, kGerman);
    const RegionalSettings c = RegionalSettings::fromLocale(QLocale::c());
    EXPECT_EQ(c.decimal, QLatin1Char('.'));
    const RegionalSettings jp =
        RegionalSettings::fromLocale(QLocale(QLocale::Japanese, QLocale::Japan));
    EXPECT_EQ(jp.currencyDigits, 0);
    EXPECT_EQ(RegionalSettings(), (RegionalSettings{QLatin1Char('.'), QLatin1Char(','), 2}));
}
