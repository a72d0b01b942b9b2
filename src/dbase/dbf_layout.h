#pragma once

#include "field.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dbase {

// The fixed part of a dBase III/IV header (32 bytes at offset 0), which FoxPro shares:
//
// | off | size | meaning                                                        |
// |-----|------|----------------------------------------------------------------|
// |   0 |    1 | version byte: low three bits 3 for dBase III/IV; 0xF5 FoxPro 2  |
// |     |      | with memo; 0x30, 0x31, 0x32 Visual FoxPro                        |
// |   1 |    3 | date of last update: year - 1900, month, day                    |
// |   4 |    4 | number of records (deleted ones included)                      |
// |   8 |    2 | header length = 32 + 32 * fields + 1 (terminator)               |
// |     |      | (+ 263 in Visual FoxPro, whose database backlink follows)       |
// |  10 |    2 | record length = 1 (deletion flag) + sum of field lengths        |
// |  12 |   16 | reserved, transaction and encryption flags, LAN bytes: kept     |
// |  28 |    1 | dBase: production index flag (0x01: NAME.MDX belongs to it);    |
// |     |      | FoxPro: flag set, 0x01 NAME.CDX, 0x02 memo, 0x04 database        |
// |  29 |    1 | language driver (code page)                                    |
// |  30 |    2 | reserved                                                       |
//
// Then one 32-byte descriptor per field:
//
// | off | size | meaning                                                        |
// |-----|------|----------------------------------------------------------------|
// |   0 |   11 | field name, NUL-padded (at most 10 characters)                  |
// |  11 |    1 | type letter C N F D L M (FoxPro also G P; Visual FoxPro also    |
// |     |      | I B Y T V Q W, and 0 for its hidden _NullFlags field)           |
// |  12 |    4 | reserved (0); Visual FoxPro: the field's offset in the record   |
// |  16 |    1 | field length; for C, the low byte of the length                 |
// |  17 |    1 | decimal count (N and F); for C, the high byte of the length     |
// |  18 |    1 | reserved (0); Visual FoxPro: field flags (0x01 system, 0x02     |
// |     |      | nullable, 0x04 binary)                                          |
// |  19 |   12 | reserved (0)                                                   |
// |  31 |    1 | production index field flag                                    |
//
// The descriptors end with one 0x0D byte (a few writers put 0x0A). Records follow at the
// header length, each starting with its deletion flag (' ' live, '*' deleted); one 0x1A
// follows the last record.
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
inline constexpr std::size_t kFieldFlags = 18;

inline constexpr char kHeaderTerminator = 0x0D;
inline constexpr char kHeaderTerminatorLf = 0x0A;
inline constexpr char kEndOfFile = 0x1A;
inline constexpr char kLiveFlag = ' ';
inline constexpr char kDeletedFlag = '*';

inline constexpr std::uint8_t kVersionDbase = 0x03;
inline constexpr std::uint8_t kVersionDbase3Memo = 0x83;
inline constexpr std::uint8_t kVersionFoxPro2 = 0xF5;
inline constexpr std::uint8_t kVersionVisualFoxPro = 0x30;
inline constexpr std::uint8_t kVersionVisualFoxProAutoIncrement = 0x31;
inline constexpr std::uint8_t kVersionVisualFoxProVarchar = 0x32;
inline constexpr std::size_t kVisualFoxProBacklink = 263;
inline constexpr std::uint8_t kFieldFlagSystem = 0x01;
inline constexpr std::uint8_t kFieldFlagNullable = 0x02;
inline constexpr char kNullFlagsType = '0';
inline constexpr std::size_t kMaxFields = 255;
inline constexpr std::size_t kMaxRecordLength = 65535;
inline constexpr int kMaxCharacterWidth = 254;
inline constexpr int kMaxNumericWidth = 32;
} // namespace layout

// Who wrote the table, as the version byte tells. FoxPro tables are read, never written.
enum class TableFormat { Dbase, FoxPro, VisualFoxPro };

struct DbfHeader {
    std::string fixed; // the 32 fixed bytes
    TableFormat format = TableFormat::Dbase;
    std::uint32_t recordCount = 0;
    std::uint32_t headerLength = 0;
    std::uint32_t recordLength = 0;
    std::vector<Field> fields; // without Visual FoxPro's hidden system fields
    // Where Visual FoxPro's _NullFlags field sits in the record; length 0 when it has none.
    int nullFlagsOffset = 0;
    int nullFlagsLength = 0;
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
