#pragma once

// The engine's few text helpers. Names in dBase files (fields, tags) are ASCII and compare
// without regard to letter case; stored values are padded with blanks (some writers use NULs).

#include <algorithm>
#include <string>
#include <string_view>

namespace dbase::text {

inline char upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

inline std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = upper(c);
    return out;
}

inline bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return upper(x) == upper(y); });
}

inline bool isPad(char c) {
    return c == ' ' || c == '\0';
}

inline std::string_view trimRight(std::string_view s) {
    while (!s.empty() && isPad(s.back()))
        s.remove_suffix(1);
    return s;
}

inline std::string_view trim(std::string_view s) {
    s = trimRight(s);
    while (!s.empty() && isPad(s.front()))
        s.remove_prefix(1);
    return s;
}

} // namespace dbase::text
