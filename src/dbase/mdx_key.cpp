#include "dbase/mdx_key.h"

#include "dbase/bcd.h"
#include "dbase/little_endian.h"

#include <charconv>
#include <cstring>

namespace dbase {

long julianDayNumber(int year, int month, int day) {
    const long a = (14 - month) / 12;
    const long y = year + 4800 - a;
    const long m = month + 12 * a - 3;
    return day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
}

bool parseDate(std::string_view text, int& year, int& month, int& day) {
    if (text.size() != 8)
        return false;
    auto number = [&](std::size_t from, std::size_t len, int& out) {
        const char* begin = text.data() + from;
        const auto [end, ec] = std::from_chars(begin, begin + len, out);
        return ec == std::errc() && end == begin + len;
    };
    for (const char c : text)
        if (c < '0' || c > '9')
            return false;
    if (!number(0, 4, year) || !number(4, 2, month) || !number(6, 2, day))
        return false;
    if (month < 1 || month > 12 || day < 1)
        return false;
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int monthDays = kDays[month - 1] + ((month == 2 && leap) ? 1 : 0);
    return day <= monthDays;
}

std::string dateKey(std::string_view yyyymmdd) {
    int y = 0, m = 0, d = 0;
    const double value =
        parseDate(yyyymmdd, y, m, d) ? double(julianDayNumber(y, m, d)) : kBlankDateKey;
    std::string key(kDateKeyLength, '\0');
    le::putF64(reinterpret_cast<uint8_t*>(key.data()), value);
    return key;
}

int compareKeys(KeyType type, const uint8_t* a, const uint8_t* b, std::size_t length) {
    switch (type) {
    case KeyType::Numeric:
        return compareBcd(a, b);
    case KeyType::Date: {
        const double x = le::f64(a);
        const double y = le::f64(b);
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    case KeyType::Character:
        break;
    }
    const int c = std::memcmp(a, b, length);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool isAnsiLanguageDriver(uint8_t languageDriver) {
    // DBWINUS0, DBWINWE0, DBWINES0 and the FoxPro Windows ANSI mark.
    return languageDriver == 0x57 || languageDriver == 0x58 || languageDriver == 0x59 ||
           languageDriver == 0x03;
}

} // namespace dbase
