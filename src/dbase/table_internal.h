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
// Reads of neighbouring records in a row that make a scan worth a window.
inline constexpr std::uint32_t kScanRun = 4;
// A bulk append writes the header count after this many records (and at its end).
inline constexpr std::uint32_t kBatchCountEvery = 256;

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
