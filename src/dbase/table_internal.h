#pragma once

// Helpers shared by the files that implement Table; not for use outside the engine.

#include "database_error.h"
#include "field.h"
#include "text.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unistd.h>

namespace dbase::table_detail {

namespace fs = std::filesystem;

inline constexpr std::size_t kCacheBytes = 64 * 1024;

using text::equalsNoCase;
using text::trim;
using text::trimRight;

inline char upperAscii(char c) {
    return text::upper(c);
}

inline bool endsWithNoCase(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() && equalsNoCase(s.substr(s.size() - suffix.size()), suffix);
}

inline std::string systemError(int err) {
    return std::strerror(err);
}

inline bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

inline int daysInMonth(int year, int month) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0))
        return 29;
    return days[month - 1];
}

inline std::optional<Date> parseDateDigits(std::string_view s) {
    if (s.size() != 8 || !std::all_of(s.begin(), s.end(), isDigit))
        return std::nullopt;
    auto num = [&](std::size_t pos, std::size_t len) {
        int v = 0;
        std::from_chars(s.data() + pos, s.data() + pos + len, v);
        return v;
    };
    Date d{num(0, 4), num(4, 2), num(6, 2)};
    if (!d.isValid())
        return std::nullopt;
    return d;
}

inline std::string dateDigits(const Date& d) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", d.year, d.month, d.day);
    return buf;
}

inline void validateFieldName(const std::string& name, const std::string& file) {
    const bool ok =
        !name.empty() && name.size() <= 10 &&
        ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')) &&
        std::all_of(name.begin(), name.end(), [](char c) {
            return isDigit(c) || c == '_' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        });
    if (!ok)
        throw DatabaseError(file + ": \"" + name +
                            "\" is not a valid field name (1 to 10 letters, digits or _, "
                            "starting with a letter).");
}

struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0)
            ::close(fd);
    }
};

inline void syncDirectory(const fs::path& dir) {
    const int dfd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

} // namespace dbase::table_detail
