#pragma once

#include "field.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dbase {

// The fixed part of a dBase III/IV header (32 bytes at offset 0):
//
// | off | size | meaning                                                        |
// |-----|------|----------------------------------------------------------------|
// |   0 |    1 | version byte; low three bits 3 for a dBase III/IV header        |
// |   1 |    3 | date of last update: year - 1900, month, day                    |
// |   4 |    4 | number of records (deleted ones included)                      |
// |   8 |    2 | header length = 32 + 32 * fields + 1 (terminator)               |
// |  10 |    2 | record length = 1 (deletion flag) + sum of field lengths        |
// |  12 |   16 | reserved, transaction and encryption flags, LAN bytes: kept     |
// |  28 |    1 | production index flag (0x01: NAME.MDX belongs to the table)     |
// |  29 |    1 | language driver (code page)                                    |
// |  30 |    2 | reserved                                                       |
//
// Then one 32-byte descriptor per field:
//
// | off | size | meaning                                                        |
// |-----|------|----------------------------------------------------------------|
// |   0 |   11 | field name, ASCII, NUL-padded (at most 10 characters)           |
// |  11 |    1 | type letter C N F D L M                                         |
// |  12 |    4 | reserved (0)                                                   |
// |  16 |    1 | field length                                                   |
// |  17 |    1 | decimal count (N and F)                                         |
// |  18 |   13 | reserved (0)                                                   |
// |  31 |    1 | production index field flag                                    |
//
// The descriptors end with one 0x0D byte. Records follow at the header length, each starting
// with its deletion flag (' ' live, '*' deleted); one 0x1A follows the last record.
namespace layout {
inline constexpr std::size_t kFixedHeaderSize = 32;
inline constexpr std::size_t kDescriptorSize = 32;
inline constexpr std::size_t kVersion = 0;
inline constexpr std::size_t kUpdateYear = 1;
inline constexpr std::size_t kUpdateMonth = 2;
inline constexpr std::size_t kUpdateDay = 3;
inline constexpr std::size_t kRecordCount = 4;
inline constexpr std::size_t kHeaderLength = 8;
inline constexpr std::size_t kRecordLength = 10;
inline constexpr std::size_t kProductionIndex = 28;
inline constexpr std::size_t kLanguageDriver = 29;

inline constexpr std::size_t kFieldName = 0;
inline constexpr std::size_t kFieldNameSize = 11;
inline constexpr std::size_t kFieldType = 11;
inline constexpr std::size_t kFieldLength = 16;
inline constexpr std::size_t kFieldDecimals = 17;

inline constexpr char kHeaderTerminator = 0x0D;
inline constexpr char kEndOfFile = 0x1A;
inline constexpr char kLiveFlag = ' ';
inline constexpr char kDeletedFlag = '*';

inline constexpr std::uint8_t kVersionDbase = 0x03;
inline constexpr std::size_t kMaxFields = 255;
inline constexpr std::size_t kMaxRecordLength = 65535;
inline constexpr int kMaxCharacterWidth = 254;
inline constexpr int kMaxNumericWidth = 32;
} // namespace layout

struct DbfHeader {
    std::string fixed; // the 32 fixed bytes
    std::uint32_t recordCount = 0;
    std::uint32_t headerLength = 0;
    std::uint32_t recordLength = 0;
    std::vector<Field> fields;
};

// Reads and checks the header of the open file fd: version, header and record lengths, each
// descriptor, the terminator, and that every record the header counts is in the file. Throws
// DatabaseError naming fileName.
DbfHeader readHeader(int fd, const std::string& fileName);

// The header bytes (fixed part, descriptors, terminator) of a new table.
std::string buildHeader(const std::vector<Field>& fields, std::uint8_t languageDriver,
                        const Date& today);

// Today's local date, for the last-update bytes.
Date today();

// Writes year - 1900, month and day into the fixed header bytes.
void putUpdateDate(std::string& fixed, const Date& date);

} // namespace dbase
