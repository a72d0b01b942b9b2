#pragma once

// Numeric index keys: the 12-byte packed-decimal form of .MDX tags.
//
// | Off | Len | Meaning                                                              |
// |-----|-----|----------------------------------------------------------------------|
// | 0   | 1   | 0x34 + digits before the decimal point (0x33 for 0.05); 0x34 = zero  |
// | 1   | 1   | bit 7 sign (1 = negative), bits 6-2 significant digits, bits 1-0 01  |
// | 2   | 10  | the significant digits, two per byte, first digit in the high nibble |

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace dbase {

inline constexpr std::size_t kBcdKeyLength = 12;
using BcdKey = std::array<uint8_t, kBcdKeyLength>;

// Encodes a plain decimal text ("-1234.50", "7", ".25"); anything else encodes zero.
// Digits beyond the twentieth significant one are dropped.
BcdKey bcdFromDecimal(std::string_view text);

// Orders two keys by value: negatives, then zero, then positives. The digit count in byte 1
// is ignored, since writers disagree on it for equal values.
int compareBcd(const uint8_t* a, const uint8_t* b);

// The key's value as decimal text ("-1234.5", "0"), for dumps and checks.
std::string bcdToDecimal(const uint8_t* key);

} // namespace dbase
