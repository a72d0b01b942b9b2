#pragma once

#include <bit>
#include <cstdint>
#include <string>
#include <string_view>

// Explicit little-endian access to file bytes, the one place the engine decodes integers and
// doubles from disk; never a struct copied from disk.

namespace dbase::le {

inline uint16_t u16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}
inline uint32_t u32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline void put16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}
inline double f64(const uint8_t* p) {
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i)
        bits = (bits << 8) | p[i];
    return std::bit_cast<double>(bits);
}
inline void putF64(uint8_t* p, double v) {
    const auto bits = std::bit_cast<uint64_t>(v);
    for (int i = 0; i < 8; ++i)
        p[i] = uint8_t(bits >> (8 * i));
}

} // namespace dbase::le

namespace dbase {

// The same over the bytes of a table header held in a string.
inline std::uint8_t readU8(std::string_view bytes, std::size_t offset) {
    return static_cast<std::uint8_t>(bytes[offset]);
}

inline std::uint16_t readU16(std::string_view bytes, std::size_t offset) {
    return le::u16(reinterpret_cast<const uint8_t*>(bytes.data() + offset));
}

inline std::uint32_t readU32(std::string_view bytes, std::size_t offset) {
    return le::u32(reinterpret_cast<const uint8_t*>(bytes.data() + offset));
}

inline void writeU8(std::string& bytes, std::size_t offset, std::uint8_t value) {
    bytes[offset] = static_cast<char>(value);
}

inline void writeU16(std::string& bytes, std::size_t offset, std::uint16_t value) {
    le::put16(reinterpret_cast<uint8_t*>(bytes.data() + offset), value);
}

inline void writeU32(std::string& bytes, std::size_t offset, std::uint32_t value) {
    le::put32(reinterpret_cast<uint8_t*>(bytes.data() + offset), value);
}

} // namespace dbase
