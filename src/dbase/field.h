#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace dbase {

// Type letter of a field as stored in its descriptor.
enum class FieldType : char {
    Character = 'C',
    Numeric = 'N',
    Float = 'F',
    Date = 'D',
    Logical = 'L',
    Memo = 'M',
    // Only in FoxPro tables (G, P) and Visual FoxPro tables (all of these), which are read and
    // never written.
    Integer = 'I',   // 4-byte little-endian signed integer
    Double = 'B',    // 8-byte IEEE double
    Currency = 'Y',  // 8-byte signed integer, ten-thousandths
    DateTime = 'T',  // 4-byte Julian day number, 4-byte milliseconds after midnight
    Varchar = 'V',   // text of at most the field's length (see Field::lengthBit)
    Varbinary = 'Q', // bytes of at most the field's length
    General = 'G',   // OLE object in the memo file
    Picture = 'P',   // picture in the memo file
    Blob = 'W',      // bytes in the memo file
};

// Fields whose value lives in the memo file; the record holds its block number.
inline bool isMemoType(FieldType t) {
    return t == FieldType::Memo || t == FieldType::General || t == FieldType::Picture ||
           t == FieldType::Blob;
}

// Fields that hold bytes rather than text: their text is empty.
inline bool isBinaryType(FieldType t) {
    return t == FieldType::General || t == FieldType::Picture || t == FieldType::Blob ||
           t == FieldType::Varbinary;
}

// One field of an open table: its descriptor and where its bytes sit in the record buffer
// (offset 0 of the buffer is the deletion flag, so the first field starts at 1).
struct Field {
    std::string name; // as stored, upper case by dBase convention
    FieldType type = FieldType::Character;
    int length = 0;
    int decimals = 0;
    int offset = 0;
    // Visual FoxPro keeps two kinds of flag bits in the hidden _NullFlags field: for a nullable
    // field, whether it is null; for a V or Q field, whether its last byte holds the length of a
    // shorter value. The bit numbers (counting from bit 0 of its first byte), or -1.
    int nullBit = -1;
    int lengthBit = -1;
};

// What the program asks for when it creates a table; the engine picks the physical layout.
struct FieldDef {
    enum class Kind { Character, Integer, Float, Date };

    std::string name;
    Kind kind = Kind::Character;
    int width = 0; // character fields only

    static FieldDef character(std::string name, int width) {
        return {std::move(name), Kind::Character, width};
    }
    static FieldDef integer(std::string name) { return {std::move(name), Kind::Integer, 0}; }
    static FieldDef floating(std::string name) { return {std::move(name), Kind::Float, 0}; }
    static FieldDef date(std::string name) { return {std::move(name), Kind::Date, 0}; }
};

// Physical layout chosen for created numeric fields. Integers: N 11.0 holds every 32-bit value
// with its sign. Floating point: N 18.2 holds any 12-digit money amount with two decimals and a
// sign, with room to spare.
inline constexpr int kIntegerFieldWidth = 11;
inline constexpr int kFloatFieldWidth = 18;
inline constexpr int kFloatFieldDecimals = 2;

// A calendar date as a dBase D field holds it (YYYYMMDD).
struct Date {
    int year = 0;
    int month = 0;
    int day = 0;

    bool isValid() const;
    auto operator<=>(const Date&) const = default;
};

// Reads YYYYMMDD text; nothing for blanks and for text that is no calendar date.
std::optional<Date> parseDateDigits(std::string_view yyyymmdd);

// The YYYYMMDD text of a date.
std::string dateDigits(const Date& d);

} // namespace dbase
