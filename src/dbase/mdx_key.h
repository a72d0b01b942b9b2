#pragma once

// Index key types, their encodings and their order.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace dbase {

enum class KeyType : char { Character = 'C', Numeric = 'N', Date = 'D' };

inline constexpr std::size_t kDateKeyLength = 8;
// A blank date sorts after every real one.
inline constexpr double kBlankDateKey = 1.0e300;

// Julian Day Number of a proleptic Gregorian date (2024-01-01 gives 2460311).
long julianDayNumber(int year, int month, int day);

// The 8-byte little-endian double of a date stored as YYYYMMDD text; blank, partial or
// impossible dates give the blank-date key.
std::string dateKey(std::string_view yyyymmdd);

// Orders two encoded keys of one type: character keys byte by byte (the collation of the
// binary language drivers this engine writes), numeric and date keys by value.
int compareKeys(KeyType type, const uint8_t* a, const uint8_t* b, std::size_t length);

} // namespace dbase
