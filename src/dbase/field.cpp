#include "field.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace dbase {

namespace {

int daysInMonth(int year, int month) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0))
        return 29;
    return days[month - 1];
}

} // namespace

bool Date::isValid() const {
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
           day <= daysInMonth(year, month);
}

std::optional<Date> parseDateDigits(std::string_view s) {
    if (s.size() != 8 ||
        !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    auto num = [&](std::size_t pos, std::size_t len) {
        int v = 0;
        std::from_chars(s.data() + pos, s.data() + pos + len, v);
        return v;
    };
    const Date d{num(0, 4), num(4, 2), num(6, 2)};
    if (!d.isValid())
        return std::nullopt;
    return d;
}

std::string dateDigits(const Date& d) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", d.year, d.month, d.day);
    return buf;
}

} // namespace dbase
