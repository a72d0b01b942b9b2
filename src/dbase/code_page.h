#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace dbase {

// The single-byte code pages the engine understands.
enum class CodePage { Windows1252, Dos437, Dos850 };

// The code page a language driver byte (header byte 29) names. A byte that names none (0 in
// dBase III tables, or one we do not know) is read as Windows-1252, the code page our own
// tables use.
CodePage codePageForLanguageDriver(std::uint8_t driver);

// True only for the drivers that name Windows-1252, whose upper-casing covers the accented
// Latin letters as well as A-Z.
bool isWindows1252Driver(std::uint8_t driver);

// Language driver written into tables this engine creates (Windows ANSI, byte order collation).
inline constexpr std::uint8_t kDefaultLanguageDriver = 0x57;

const char* codePageName(CodePage page);

// Bytes of the code page to UTF-8. Every byte has a meaning, so this never fails.
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
