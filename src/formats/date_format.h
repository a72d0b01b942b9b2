#pragma once

#include <QChar>
#include <QDate>
#include <QLocale>
#include <QString>

#include <optional>

// How dates are written and read. The pattern uses the letters m, mm, d, dd, y, yy and yyyy
// with "/" standing for the separator: mm and dd write two digits, m and d no leading zero,
// y and yy two year digits, yyyy four.
struct DateFormat {
    QChar separator = QLatin1Char('/');
    QString pattern = QStringLiteral("m/d/yy");

    bool operator==(const DateFormat&) const = default;

    QString format(const QDate& date) const;
    // Strict reading in this format's order: three numbers split by the separator, day and
    // month in range. One- and two-digit years fall within the 80 years before and the
    // 19 years after `today`; longer years are taken as written.
    std::optional<QDate> parse(const QString& text, const QDate& today) const;
    std::optional<QDate> parse(const QString& text) const {
        return parse(text, QDate::currentDate());
    }
};

inline constexpr int kDateFormatCount = 12;

// The twelve numbered formats; nullopt outside 1-12.
std::optional<DateFormat> numberedDateFormat(int number, bool leadingZeros);
// The locale's own short date format, used when the stored number is outside 1-12.
DateFormat localeDateFormat(const QLocale& locale = QLocale::system());
// The menu text of a numbered format ("mm/dd/yy" ...); empty outside 1-12.
QString dateFormatMenuText(int number);

// Year of a one- or two-digit year text in the sliding century window around `today`.
int windowedYear(int twoDigitYear, const QDate& today);

// The date setting in force for the run: the stored number and leading-zeros flag and the
// separator and pattern derived from them.
class DisplayFormats {
public:
    explicit DisplayFormats(const QLocale& locale = QLocale::system()) : m_locale(locale) {}

    // Start-up: takes the stored values as they are, even outside 1-12.
    void apply(int dateFormatNumber, bool leadingZeros);
    // Choosing a date item: false (and nothing changes) when it is already the current one.
    bool chooseDateFormat(int number);
    // Flips the flag; keeps the separator and sets the pattern of the current number.
    void toggleLeadingZeros();

    int dateFormatNumber() const { return m_number; }
    bool leadingZeros() const { return m_leadingZeros; }
    // The number whose menu item is ticked; 0 when none is.
    int tickedDateFormat() const { return numberedDateFormat(m_number, false) ? m_number : 0; }

    const DateFormat& current() const { return m_format; }
    // For code that must read a fixed format for a while and then put the user's one back.
    void setCurrent(const DateFormat& format) { m_format = format; }

    QString format(const QDate& date) const { return m_format.format(date); }
    std::optional<QDate> parse(const QString& text, const QDate& today) const {
        return m_format.parse(text, today);
    }
    std::optional<QDate> parse(const QString& text) const { return m_format.parse(text); }

private:
    QLocale m_locale;
    int m_number = 1;
    bool m_leadingZeros = false;
    DateFormat m_format;
};
