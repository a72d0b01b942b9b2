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
};

// One field of an open table: its descriptor and where its bytes sit in the record buffer
// (offset 0 of the buffer is the deletion flag, so the first field starts at 1).
struct Field {
    std::string name; // as stored, upper case by dBase convention
    FieldType type = FieldType::Character;
    int length = 0;
    int decimals = 0;
    int offset = 0;
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
