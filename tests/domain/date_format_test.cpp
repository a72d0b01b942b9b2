#include "formats/date_format.h"

#include "qstring_printer.h"

#include <gtest/gtest.h>

namespace {
const QDate kToday(2026, 12, 8);
}

TEST(DateFormat, TwelveFormatsWithAndWithoutLeadingZeros) {
    const QDate newYear(1997, 1, 5);
    const QDate lastDay(1997, 12, 31);
    const char* expectedZeros[12] = {"01/05/97",   "01-05-97",   "01.05.97",   "05/01/97",
                                     "05-01-97",   "05.01.97",   "01/05/1997", "01-05-1997",
                                     "01.05.1997", "05/01/1997", "05-01-1997", "05.01.1997"};
    const char* expectedPlain[12] = {"1/5/97",   "1-5-97",   "1.5.97",   "5/1/97",
                                     "5-1-97",   "5.1.97",   "1/5/1997", "1-5-1997",
                                     "1.5.1997", "5/1/1997", "5-1-1997", "5.1.1997"};
    const char* menus[12] = {"mm/dd/yy",   "mm-dd-yy",   "mm.dd.yy",   "dd/mm/yy",
                             "dd-mm-yy",   "dd.mm.yy",   "mm/dd/yyyy", "mm-dd-yyyy",
                             "mm.dd.yyyy", "dd/mm/yyyy", "dd-mm-yyyy", "dd.mm.yyyy"};
    for (int n = 1; n <= 12; ++n) {
        SCOPED_TRACE(n);
        const DateFormat zeros = *numberedDateFormat(n, true);
        const DateFormat plain = *numberedDateFormat(n, false);
        EXPECT_EQ(zeros.format(newYear), expectedZeros[n - 1]);
        EXPECT_EQ(plain.format(newYear), expectedPlain[n - 1]);
        // What is written reads back as the same date, in both forms.
        EXPECT_EQ(zeros.parse(zeros.format(lastDay), kToday), lastDay);
        EXPECT_EQ(plain.parse(plain.format(newYear), kToday), newYear);
        EXPECT_EQ(dateFormatMenuText(n), menus[n - 1]);
    }
    EXPECT_EQ(numberedDateFormat(5, true)->format(lastDay), "31-12-97");
    EXPECT_EQ(numberedDateFormat(5, false)->format(newYear), "5-1-97");
    EXPECT_FALSE(numberedDateFormat(0, false));
    EXPECT_FALSE(numberedDateFormat(13, true));
}

TEST(DateFormat, TwoDigitYearsSlideWithToday) {
    // 80 years back and 19 ahead of 8 December 2026: 1946 to 2045.
    EXPECT_EQ(windowedYear(46, kToday), 1946);
    EXPECT_EQ(windowedYear(45, kToday), 2045);
    EXPECT_EQ(windowedYear(0, kToday), 2000);
    EXPECT_EQ(windowedYear(99, kToday), 1999);
    EXPECT_EQ(windowedYear(97, QDate(1997, 6, 1)), 1997);
    EXPECT_EQ(windowedYear(16, QDate(1997, 6, 1)), 2016);
    EXPECT_EQ(windowedYear(17, QDate(1997, 6, 1)), 1917);

    const DateFormat mdy = *numberedDateFormat(1, false);
    EXPECT_EQ(mdy.parse("3/4/45", kToday), QDate(2045, 3, 4));
    EXPECT_EQ(mdy.parse("3/4/46", kToday), QDate(1946, 3, 4));
    EXPECT_EQ(mdy.parse("3/4/1890", kToday), QDate(1890, 3, 4)); // four digits as written
}

TEST(DateFormat, ReadingIsStrict) {
    const DateFormat dmy = *numberedDateFormat(6, true); // dd.mm.yy
    EXPECT_EQ(dmy.parse(" 31.12.97 ", kToday), QDate(1997, 12, 31));
    EXPECT_EQ(dmy.parse("29.2.96", kToday), QDate(1996, 2, 29));
    EXPECT_FALSE(dmy.parse("29.2.97", kToday));  // no such day
    EXPECT_FALSE(dmy.parse("12.13.97", kToday)); // month out of range
    EXPECT_FALSE(dmy.parse("0.1.97", kToday));
    EXPECT_FALSE(dmy.parse("31/12/97", kToday)); // other separator
    EXPECT_FALSE(dmy.parse("31.12", kToday));
    EXPECT_FALSE(dmy.parse("31.12.97.1", kToday));
    EXPECT_FALSE(dmy.parse("3a.12.97", kToday));
    EXPECT_FALSE(dmy.parse("  .  .  ", kToday)); // an empty masked edit
    EXPECT_FALSE(dmy.parse("", kToday));
    EXPECT_FALSE(dmy.parse("1.1.0000", kToday));
    EXPECT_FALSE(dmy.parse("1.1.123456", kToday));
    // The conversion of old databases reads m/d/y with any year length.
    const DateFormat old{QLatin1Char('/'), "m/d/y"};
    EXPECT_EQ(old.parse("3/5/1996", kToday), QDate(1996, 3, 5));
    EXPECT_EQ(old.parse("3/5/96", kToday), QDate(1996, 3, 5));
    EXPECT_FALSE(old.parse("//", kToday));
}

TEST(DateFormat, ChoosingFormatsAndTheLeadingZerosSwitch) {
    DisplayFormats f(QLocale(QLocale::English, QLocale::UnitedStates));
    f.apply(1, false);
    EXPECT_EQ(f.current(), (DateFormat{QLatin1Char('/'), "m/d/yy"}));
    EXPECT_FALSE(f.chooseDateFormat(1)); // already ticked: no refresh
    f.toggleLeadingZeros();
    EXPECT_EQ(f.current(), (DateFormat{QLatin1Char('/'), "mm/dd/yy"}));
    f.toggleLeadingZeros();
    EXPECT_EQ(f.current(), (DateFormat{QLatin1Char('/'), "m/d/yy"}));

    EXPECT_TRUE(f.chooseDateFormat(12));
    EXPECT_EQ(f.format(QDate(2001, 2, 3)), "3.2.2001");
    f.toggleLeadingZeros();
    EXPECT_EQ(f.format(QDate(2001, 2, 3)), "03.02.2001");
    EXPECT_EQ(f.dateFormatNumber(), 12);
    EXPECT_FALSE(f.chooseDateFormat(13));
    EXPECT_EQ(f.dateFormatNumber(), 12);
}

TEST(DateFormat, NumbersOutsideTheTableUseTheLocalesOwnFormat) {
    DisplayFormats german(QLocale(QLocale::German, QLocale::Germany));
    german.apply(0, false);
    EXPECT_EQ(german.tickedDateFormat(), 0);
    EXPECT_EQ(german.dateFormatNumber(), 0); // kept as read, so it is saved back unchanged
    EXPECT_EQ(german.current().separator, QLatin1Char('.'));
    EXPECT_TRUE(german.current().pattern.startsWith("dd/mm/"))
        << german.current().pattern.toStdString();
    EXPECT_EQ(german.parse("24.12.2003", kToday), QDate(2003, 12, 24));

    const DateFormat us = localeDateFormat(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(us.separator, QLatin1Char('/'));
    EXPECT_TRUE(us.pattern.startsWith("m/d/")) << us.pattern.toStdString();

    // The switch does not invent a numbered pattern while none is in force.
    const DateFormat before = german.current();
    german.toggleLeadingZeros();
    EXPECT_EQ(german.current(), before);
}
