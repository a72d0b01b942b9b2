#include "dbase/mdx_key.h"

#include "dbase/bcd.h"
#include "dbase/field.h"
#include "dbase/little_endian.h"

#include <cstring>

namespace dbase {

long julianDayNumber(int year, int month, int day) {
    const long a = (14 - month) / 12;
    const long y = year + 4800 - a;
    const long m = month + 12 * a - 3;
    return day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
}

std::string dateKey(std::string_view yyyymmdd) {
    const std::optional<Date> d = parseDateDigits(yyyymmdd);
    const double value = d ? double(julianDayNumber(d->year, d->month, d->day)) : kBlankDateKey;
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

} // namespace dbase
