#include "code_page.h"

#include <algorithm>
#include <array>
#include <utility>

namespace dbase {

namespace {

using HighHalf = std::array<char16_t, 128>;

// Bytes 0x80-0xFF of each code page. Bytes below 0x80 are ASCII in all three. The five bytes
// Windows-1252 leaves undefined map to the C1 controls of the same number, as Windows does, so
// every byte round-trips.
constexpr HighHalf kWindows1252 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98
    0x00A0, 0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7, // A0
    0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF, // A8
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7, // B0
    0x00B8, 0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF, // B8
    0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7, // C0
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF, // C8
    0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D7, // D0
    0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF, // D8
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7, // E0
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF, // E8
    0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7, // F0
    0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF, // F8
};

constexpr HighHalf kDos437 = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5, // 88
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, // 90
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, // 98
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, // A0
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, // C8
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580, // D8
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, // E0
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, // E8
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248, // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0, // F8
};

constexpr HighHalf kDos850 = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5, // 88
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, // 90
    0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192, // 98
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, // A0
    0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0, // B0
    0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510, // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3, // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4, // C8
    0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE, // D0
    0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580, // D8
    0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE, // E0
    0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4, // E8
    0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8, // F0
    0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0, // F8
};

const HighHalf& highHalf(CodePage page) {
    switch (page) {
    case CodePage::Dos437:
        return kDos437;
    case CodePage::Dos850:
        return kDos850;
    case CodePage::Windows1252:
        break;
    }
    return kWindows1252;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes one UTF-8 sequence at s[i]; advances i. Returns U+FFFD with ok=false when malformed
// (overlong forms, surrogates and values past U+10FFFF included).
char32_t decodeUtf8(std::string_view s, std::size_t& i, bool& ok) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    ok = true;
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int extra = 0;
    char32_t c = 0;
    char32_t minimum = 0;
    if ((b0 & 0xE0) == 0xC0) {
        extra = 1;
        c = b0 & 0x1F;
        minimum = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2;
        c = b0 & 0x0F;
        minimum = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3;
        c = b0 & 0x07;
        minimum = 0x10000;
    } else {
        ok = false;
        ++i;
        return 0xFFFD;
    }
    if (i + extra >= s.size()) {
        ok = false;
        i = s.size();
        return 0xFFFD;
    }
    for (int k = 1; k <= extra; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) {
            ok = false;
            i += k;
            return 0xFFFD;
        }
        c = (c << 6) | (b & 0x3F);
    }
    i += extra + 1;
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ok = false;
        return 0xFFFD;
    }
    return c;
}

// Sorted (code point, byte) pairs of the high half, for encoding.
struct ReverseTable {
    std::array<std::pair<char16_t, unsigned char>, 128> entries{};
    explicit ReverseTable(const HighHalf& half) {
        for (int b = 0; b < 128; ++b)
            entries[b] = {half[b], static_cast<unsigned char>(0x80 + b)};
        std::sort(entries.begin(), entries.end());
    }
    int find(char32_t c) const {
        if (c > 0xFFFF)
            return -1;
        const auto key = static_cast<char16_t>(c);
        auto it = std::lower_bound(entries.begin(), entries.end(), key,
                                   [](const auto& e, char16_t k) { return e.first < k; });
        return (it != entries.end() && it->first == key) ? it->second : -1;
    }
};

const ReverseTable& reverseTable(CodePage page) {
    static const ReverseTable w1252(kWindows1252);
    static const ReverseTable d437(kDos437);
    static const ReverseTable d850(kDos850);
    switch (page) {
    case CodePage::Dos437:
        return d437;
    case CodePage::Dos850:
        return d850;
    case CodePage::Windows1252:
        break;
    }
    return w1252;
}

} // namespace

namespace {

struct LanguageDriver {
    std::uint8_t id;
    CodePage page;
};

// The language drivers whose code page we know: the dBase drivers and the FoxPro marks.
constexpr LanguageDriver kLanguageDrivers[] = {
    {0x57, CodePage::Windows1252}, // DBWINUS0, ANSI
    {0x58, CodePage::Windows1252}, // DBWINWE0, Western European ANSI
    {0x59, CodePage::Windows1252}, // DBWINES0, Spanish ANSI
    {0x03, CodePage::Windows1252}, // FoxPro Windows ANSI
    {0x1B, CodePage::Dos437},      // DB437US0
    {0x19, CodePage::Dos437},      // DB437UK0
    {0x01, CodePage::Dos437},      // FoxPro DOS USA
    {0x37, CodePage::Dos850},      // DB850US0
    {0x1A, CodePage::Dos850},      // DB850UK0
    {0x02, CodePage::Dos850},      // FoxPro DOS multilingual
};

const LanguageDriver* findDriver(std::uint8_t id) {
    const auto it = std::find_if(std::begin(kLanguageDrivers), std::end(kLanguageDrivers),
                                 [id](const LanguageDriver& d) { return d.id == id; });
    return it == std::end(kLanguageDrivers) ? nullptr : it;
}

} // namespace

CodePage codePageForLanguageDriver(std::uint8_t driver) {
    const LanguageDriver* d = findDriver(driver);
    return d ? d->page : CodePage::Windows1252;
}

bool isWindows1252Driver(std::uint8_t driver) {
    const LanguageDriver* d = findDriver(driver);
    return d && d->page == CodePage::Windows1252;
}

const char* codePageName(CodePage page) {
    switch (page) {
    case CodePage::Dos437:
        return "DOS 437";
    case CodePage::Dos850:
        return "DOS 850";
    case CodePage::Windows1252:
        break;
    }
    return "Windows-1252";
}

std::string toUtf8(std::string_view bytes, CodePage page) {
    const HighHalf& half = highHalf(page);
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x80)
            out += ch;
        else
            appendUtf8(out, half[b - 0x80]);
    }
    return out;
}

EncodeResult fromUtf8(std::string_view utf8, CodePage page) {
    const ReverseTable& reverse = reverseTable(page);
    EncodeResult result;
    result.bytes.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const std::size_t start = i;
        bool ok = true;
        const char32_t c = decodeUtf8(utf8, i, ok);
        int byte = -1;
        if (ok)
            byte = c < 0x80 ? static_cast<int>(c) : reverse.find(c);
        if (byte < 0) {
            result.ok = false;
            result.bytes.clear();
            result.badCharacter = c;
            result.badOffset = start;
            return result;
        }
        result.bytes += static_cast<char>(byte);
    }
    return result;
}

} // namespace dbase
