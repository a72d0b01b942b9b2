#include "code_page.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <iconv.h>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

namespace dbase {

namespace {

using HighHalf = std::array<char16_t, 128>;

// Bytes 0x80-0xFF of the three built-in code pages. Bytes below 0x80 are ASCII in every code
// page here. The five bytes Windows-1252 leaves undefined map to the C1 controls of the same
// number, as Windows does, so every byte round-trips.
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

constexpr char32_t kReplacement = 0xFFFD;

struct PageInfo {
    CodePage page;
    const char* name;
    const char* iconvName;
    bool singleByte;
};

constexpr PageInfo kPages[] = {
    {CodePage::Windows1252, "Windows-1252", "CP1252", true},
    {CodePage::Dos437, "DOS 437", "CP437", true},
    {CodePage::Dos850, "DOS 850", "CP850", true},
    {CodePage::Dos737, "DOS 737 (Greek)", "CP737", true},
    {CodePage::Dos852, "DOS 852 (Eastern European)", "CP852", true},
    {CodePage::Dos857, "DOS 857 (Turkish)", "CP857", true},
    {CodePage::Dos860, "DOS 860 (Portuguese)", "CP860", true},
    {CodePage::Dos861, "DOS 861 (Icelandic)", "CP861", true},
    {CodePage::Dos863, "DOS 863 (Canadian French)", "CP863", true},
    {CodePage::Dos865, "DOS 865 (Nordic)", "CP865", true},
    {CodePage::Dos866, "DOS 866 (Russian)", "CP866", true},
    {CodePage::Thai874, "Windows-874 (Thai)", "CP874", true},
    {CodePage::Japanese932, "Windows-932 (Japanese Shift-JIS)", "CP932", false},
    {CodePage::ChineseSimplified936, "Windows-936 (Simplified Chinese GBK)", "CP936", false},
    {CodePage::Korean949, "Windows-949 (Korean)", "CP949", false},
    {CodePage::ChineseTraditional950, "Windows-950 (Traditional Chinese Big5)", "CP950", false},
    {CodePage::Windows1250, "Windows-1250 (Eastern European)", "CP1250", true},
    {CodePage::Windows1251, "Windows-1251 (Cyrillic)", "CP1251", true},
    {CodePage::Windows1253, "Windows-1253 (Greek)", "CP1253", true},
    {CodePage::Windows1254, "Windows-1254 (Turkish)", "CP1254", true},
    {CodePage::Windows1255, "Windows-1255 (Hebrew)", "CP1255", true},
    {CodePage::Windows1256, "Windows-1256 (Arabic)", "CP1256", true},
    {CodePage::Windows1257, "Windows-1257 (Baltic)", "CP1257", true},
    {CodePage::MacRoman, "Mac Roman", "MACINTOSH", true},
    {CodePage::MacCyrillic, "Mac Cyrillic", "MAC-CYRILLIC", true},
    {CodePage::MacCentralEurope, "Mac Central European", "MAC-CENTRALEUROPE", true},
};

const PageInfo& pageInfo(CodePage page) {
    for (const PageInfo& p : kPages)
        if (p.page == page)
            return p;
    return kPages[0];
}

// One iconv conversion, opened once per thread and direction (a descriptor keeps state, so
// threads do not share one).
class Converter {
public:
    Converter(const char* to, const char* from) : m_cd(::iconv_open(to, from)) {}
    ~Converter() {
        if (usable())
            ::iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool usable() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // Converts as much of in as it can; returns how many input bytes went through and leaves
    // errno as iconv left it when it stopped early.
    std::size_t convert(std::string_view in, std::string& out) {
        ::iconv(m_cd, nullptr, nullptr, nullptr, nullptr); // a fresh shift state
        char* src = const_cast<char*>(in.data());
        std::size_t srcLeft = in.size();
        char buffer[1024];
        while (srcLeft > 0) {
            char* dst = buffer;
            std::size_t dstLeft = sizeof buffer;
            const std::size_t r = ::iconv(m_cd, &src, &srcLeft, &dst, &dstLeft);
            out.append(buffer, static_cast<std::size_t>(dst - buffer));
            if (r == static_cast<std::size_t>(-1) && errno != E2BIG)
                break;
        }
        // Some converters hold back the end of a sequence until told the input is complete.
        char* dst = buffer;
        std::size_t dstLeft = sizeof buffer;
        ::iconv(m_cd, nullptr, nullptr, &dst, &dstLeft);
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        return in.size() - srcLeft;
    }

private:
    iconv_t m_cd;
};

Converter& converter(CodePage page, bool toUnicode) {
    thread_local std::map<std::pair<CodePage, bool>, std::unique_ptr<Converter>> converters;
    std::unique_ptr<Converter>& c = converters[{page, toUnicode}];
    if (!c) {
        const char* name = pageInfo(page).iconvName;
        c = toUnicode ? std::make_unique<Converter>("UTF-8", name)
                      : std::make_unique<Converter>(name, "UTF-8");
    }
    return *c;
}

// Sorted (code point, byte) pairs of the high half, for encoding. U+FFFD marks bytes the code
// page leaves undefined and is never looked up.
struct ReverseTable {
    std::array<std::pair<char16_t, unsigned char>, 128> entries{};
    explicit ReverseTable(const HighHalf& half) {
        for (int b = 0; b < 128; ++b)
            entries[b] = {half[b], static_cast<unsigned char>(0x80 + b)};
        std::sort(entries.begin(), entries.end());
    }
    int find(char32_t c) const {
        if (c > 0xFFFF || c == kReplacement)
            return -1;
        const auto key = static_cast<char16_t>(c);
        auto it = std::lower_bound(entries.begin(), entries.end(), key,
                                   [](const auto& e, char16_t k) { return e.first < k; });
        return (it != entries.end() && it->first == key) ? it->second : -1;
    }
};

struct SingleByteTable {
    HighHalf high;
    ReverseTable reverse;
    explicit SingleByteTable(const HighHalf& h) : high(h), reverse(h) {}
};

// The high half of a code page iconv knows, byte by byte.
HighHalf highHalfFromIconv(CodePage page) {
    HighHalf half{};
    Converter& c = converter(page, true);
    for (int b = 0; b < 128; ++b) {
        half[b] = static_cast<char16_t>(kReplacement);
        if (!c.usable())
            continue;
        const char byte = static_cast<char>(0x80 + b);
        std::string utf8;
        if (c.convert(std::string_view(&byte, 1), utf8) != 1 || utf8.empty())
            continue;
        std::size_t i = 0;
        bool ok = true;
        const char32_t cp = decodeUtf8(utf8, i, ok);
        if (ok && i == utf8.size() && cp <= 0xFFFF)
            half[b] = static_cast<char16_t>(cp);
    }
    return half;
}

const SingleByteTable& singleByteTable(CodePage page) {
    static const SingleByteTable w1252(kWindows1252);
    static const SingleByteTable d437(kDos437);
    static const SingleByteTable d850(kDos850);
    switch (page) {
    case CodePage::Windows1252:
        return w1252;
    case CodePage::Dos437:
        return d437;
    case CodePage::Dos850:
        return d850;
    default:
        break;
    }
    static std::mutex mutex;
    static std::map<CodePage, std::unique_ptr<SingleByteTable>> built;
    const std::lock_guard<std::mutex> lock(mutex);
    std::unique_ptr<SingleByteTable>& t = built[page];
    if (!t)
        t = std::make_unique<SingleByteTable>(highHalfFromIconv(page));
    return *t;
}

std::string singleByteToUtf8(std::string_view bytes, const HighHalf& half) {
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

// Two-byte code pages: iconv converts runs; a byte it cannot take becomes U+FFFD and the run
// goes on after it.
std::string multiByteToUtf8(std::string_view bytes, CodePage page) {
    std::string out;
    out.reserve(bytes.size() * 3 / 2);
    Converter& c = converter(page, true);
    while (!bytes.empty()) {
        std::size_t done = 0;
        if (c.usable())
            done = c.convert(bytes, out);
        bytes.remove_prefix(done);
        if (bytes.empty())
            break;
        if (static_cast<unsigned char>(bytes.front()) < 0x80 && !c.usable())
            out += bytes.front();
        else
            appendUtf8(out, kReplacement);
        bytes.remove_prefix(1);
    }
    return out;
}

EncodeResult refuse(char32_t c, std::size_t offset) {
    EncodeResult result;
    result.ok = false;
    result.badCharacter = c;
    result.badOffset = offset;
    return result;
}

EncodeResult singleByteFromUtf8(std::string_view utf8, const ReverseTable& reverse) {
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
        if (byte < 0)
            return refuse(c, start);
        result.bytes += static_cast<char>(byte);
    }
    return result;
}

EncodeResult multiByteFromUtf8(std::string_view utf8, CodePage page) {
    // Malformed UTF-8 is found here, so that iconv stopping early always means a character the
    // code page lacks.
    for (std::size_t i = 0; i < utf8.size();) {
        const std::size_t start = i;
        bool ok = true;
        const char32_t c = decodeUtf8(utf8, i, ok);
        if (!ok)
            return refuse(c, start);
    }
    EncodeResult result;
    Converter& c = converter(page, false);
    if (!c.usable()) {
        for (std::size_t i = 0; i < utf8.size(); ++i)
            if (static_cast<unsigned char>(utf8[i]) >= 0x80) {
                bool ok = true;
                std::size_t at = i;
                return refuse(decodeUtf8(utf8, at, ok), i);
            }
        result.bytes.assign(utf8);
        return result;
    }
    const std::size_t done = c.convert(utf8, result.bytes);
    if (done < utf8.size()) {
        // iconv stops at the start of the character it cannot write.
        std::size_t at = done;
        bool ok = true;
        return refuse(decodeUtf8(utf8, at, ok), done);
    }
    return result;
}

struct LanguageDriver {
    std::uint8_t id;
    CodePage page;
};

// The language drivers whose code page we know: the dBase drivers and the FoxPro code page
// marks. Drivers for code pages the C library has no converter for (Kamenicky 0x68, Mazovia
// 0x69, Mac Greek 0x98) are left out and read as Windows-1252.
constexpr LanguageDriver kLanguageDrivers[] = {
    {0x01, CodePage::Dos437},           {0x02, CodePage::Dos850},
    {0x03, CodePage::Windows1252},      {0x04, CodePage::MacRoman},
    {0x08, CodePage::Dos865},           {0x09, CodePage::Dos437},
    {0x0A, CodePage::Dos850},           {0x0B, CodePage::Dos437},
    {0x0D, CodePage::Dos437},           {0x0E, CodePage::Dos850},
    {0x0F, CodePage::Dos437},           {0x10, CodePage::Dos850},
    {0x11, CodePage::Dos437},           {0x12, CodePage::Dos850},
    {0x13, CodePage::Japanese932},      {0x14, CodePage::Dos850},
    {0x15, CodePage::Dos437},           {0x16, CodePage::Dos850},
    {0x17, CodePage::Dos865},           {0x18, CodePage::Dos437},
    {0x19, CodePage::Dos437}, // DB437UK0
    {0x1A, CodePage::Dos850}, // DB850UK0
    {0x1B, CodePage::Dos437}, // DB437US0
    {0x1C, CodePage::Dos863},           {0x1D, CodePage::Dos850},
    {0x1F, CodePage::Dos852},           {0x22, CodePage::Dos852},
    {0x23, CodePage::Dos852},           {0x24, CodePage::Dos860},
    {0x25, CodePage::Dos850},           {0x26, CodePage::Dos866},
    {0x37, CodePage::Dos850}, // DB850US0
    {0x40, CodePage::Dos852},           {0x4D, CodePage::ChineseSimplified936},
    {0x4E, CodePage::Korean949},        {0x4F, CodePage::ChineseTraditional950},
    {0x50, CodePage::Thai874},          {0x57, CodePage::Windows1252}, // DBWINUS0, ANSI
    {0x58, CodePage::Windows1252}, // DBWINWE0, Western European ANSI
    {0x59, CodePage::Windows1252}, // DBWINES0, Spanish ANSI
    {0x64, CodePage::Dos852},           {0x65, CodePage::Dos866},
    {0x66, CodePage::Dos865},           {0x67, CodePage::Dos861},
    {0x6A, CodePage::Dos737},           {0x6B, CodePage::Dos857},
    {0x6C, CodePage::Dos863},           {0x78, CodePage::ChineseTraditional950},
    {0x79, CodePage::Korean949},        {0x7A, CodePage::ChineseSimplified936},
    {0x7B, CodePage::Japanese932},      {0x7C, CodePage::Thai874},
    {0x7D, CodePage::Windows1255},      {0x7E, CodePage::Windows1256},
    {0x86, CodePage::Dos737},           {0x87, CodePage::Dos852},
    {0x88, CodePage::Dos857},           {0x96, CodePage::MacCyrillic},
    {0x97, CodePage::MacCentralEurope}, {0xC8, CodePage::Windows1250},
    {0xC9, CodePage::Windows1251},      {0xCA, CodePage::Windows1254},
    {0xCB, CodePage::Windows1253},      {0xCC, CodePage::Windows1257},
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

bool isKnownLanguageDriver(std::uint8_t driver) {
    return findDriver(driver) != nullptr;
}

bool isWindows1252Driver(std::uint8_t driver) {
    const LanguageDriver* d = findDriver(driver);
    return d && d->page == CodePage::Windows1252;
}

const char* codePageName(CodePage page) {
    return pageInfo(page).name;
}

bool isSingleByte(CodePage page) {
    return pageInfo(page).singleByte;
}

std::string toUtf8(std::string_view bytes, CodePage page) {
    if (isSingleByte(page))
        return singleByteToUtf8(bytes, singleByteTable(page).high);
    return multiByteToUtf8(bytes, page);
}

EncodeResult fromUtf8(std::string_view utf8, CodePage page) {
    if (isSingleByte(page))
        return singleByteFromUtf8(utf8, singleByteTable(page).reverse);
    return multiByteFromUtf8(utf8, page);
}

} // namespace dbase
