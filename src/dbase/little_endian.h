#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dbase {

// Explicit little-endian access to file bytes; never a struct copied from disk.
inline std::uint8_t readU8(std::string_view bytes, std::size_t offset) {
    return static_cast<std::uint8_t>(bytes[offset]);
}

inline std::uint16_t readU16(std::string_view bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(readU8(bytes, offset) | (readU8(bytes, offset + 1) << 8));
}

inline std::uint32_t readU32(std::string_view bytes, std::size_t offset) {
    return static_cast<std::uint32_t>(readU8(bytes, offset)) |
           (static_cast<std::uint32_t>(readU8(bytes, offset + 1)) << 8) |
           (static_cast<std::uint32_t>(readU8(bytes, offset + 2)) << 16) |
           (static_cast<std::uint32_t>(readU8(bytes, offset + 3)) << 24);
}

inline void writeU8(std::string& bytes, std::size_t offset, std::uint8_t value) {
    bytes[offset] = static_cast<char>(value);
}

inline void writeU16(std::string& bytes, std::size_t offset, std::uint16_t value) {
    writeU8(bytes, offset, static_cast<std::uint8_t>(value & 0xFF));
    writeU8(bytes, offset + 1, static_cast<std::uint8_t>(value >> 8));
}

inline void writeU32(std::string& bytes, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        writeU8(bytes, offset + i, static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF));
}

} // namespace dbase
