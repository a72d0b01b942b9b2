#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace dbase {

// The code pages language drivers name, by their number. Windows-1252, DOS 437 and DOS 850 are
// built in; the others go through the C library's iconv.
enum class CodePage : std::uint16_t {
    Windows1252 = 1252,
    Dos437 = 437,
    Dos850 = 850,
    Dos737 = 737,
    Dos852 = 852,
    Dos857 = 857,
    Dos860 = 860,
    Dos861 = 861,
    Dos863 = 863,
    Dos865 = 865,
    Dos866 = 866,
    Thai874 = 874,
    Japanese932 = 932,
    ChineseSimplified936 = 936,
    Korean949 = 949,
    ChineseTraditional950 = 950,
    Windows1250 = 1250,
    Windows1251 = 1251,
    Windows1253 = 1253,
    Windows1254 = 1254,
    Windows1255 = 1255,
    Windows1256 = 1256,
    Windows1257 = 1257,
    MacRoman = 10000,
    MacCyrillic = 10007,
    MacCentralEurope = 10029,
};

// The code page a language driver byte (header byte 29) names. A byte that names none (0 in
// dBase III tables, or one we do not know) is read as Windows-1252, the code page our own
// tables use.
CodePage codePageForLanguageDriver(std::uint8_t driver);

// False for 0 and for bytes no driver we know uses; those tables are read as Windows-1252.
bool isKnownLanguageDriver(std::uint8_t driver);

// True only for the drivers that name Windows-1252, whose upper-casing covers the accented
// Latin letters as well as A-Z.
bool isWindows1252Driver(std::uint8_t driver);

// Language driver written into tables this engine creates (Windows ANSI, byte order collation).
inline constexpr std::uint8_t kDefaultLanguageDriver = 0x57;

const char* codePageName(CodePage page);

// False for the Asian code pages, where a character may take two bytes.
bool isSingleByte(CodePage page);

// Bytes of the code page to UTF-8. This never fails: a byte the code page leaves undefined, or
// a two-byte character cut short, becomes U+FFFD.
std::string toUtf8(std::string_view bytes, CodePage page);

// UTF-8 to bytes of the code page. When a character has no byte in the code page (or the input
// is not valid UTF-8), ok is false, bytes is empty and badCharacter/badOffset say which one.
struct EncodeResult {
    bool ok = true;
    std::string bytes;
    char32_t badCharacter = 0; // U+FFFD for malformed UTF-8
    std::size_t badOffset = 0; // byte offset in the UTF-8 input
};
EncodeResult fromUtf8(std::string_view utf8, CodePage page);

} // namespace dbase
