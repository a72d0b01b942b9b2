#pragma once

// dBase expressions over a raw record buffer: the key expressions of index tags and the FOR
// conditions that choose which records a tag holds.
//
// Values: field names, text constants ("..", '..' or [..]), numbers, dates {MM/DD/YY} and
// logical constants .T. and .F. (.Y., .N.). Operators, loosest first: .OR.; .AND.; .NOT. (or
// !); the comparisons = == <> # != < <= > >= and $ (text contained in text); + and - (texts
// and numbers; text - text moves the first text's trailing blanks to the end); * and /;
// unary -. Functions: UPPER, LOWER, LEFT, RIGHT, SUBSTR, TRIM, RTRIM, LTRIM, STR, VAL, DTOS,
// DTOC, CTOD, DAY, MONTH, YEAR, IIF and DELETED. Dates are written and read MM/DD/YY, as dBase
// does before SET DATE is changed.

#include "dbase/mdx_key.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace dbase {

// Where one field lives in the raw record (byte 0 of a record is the deletion flag).
struct FieldLayout {
    std::string name;
    char type = 'C'; // C, N, F, D or L
    uint16_t length = 0;
    uint8_t decimals = 0;
    uint32_t offset = 0;
};

class KeyExpression {
public:
    // Parses text against the table's fields (names in any letter case). Throws
    // DatabaseError naming the expression when it cannot be parsed, names an unknown field
    // or function, mixes types, or gives a key that cannot be indexed.
    KeyExpression(std::string_view text, const std::vector<FieldLayout>& fields,
                  uint8_t languageDriver = 0x57);
    ~KeyExpression();
    KeyExpression(KeyExpression&&) noexcept;
    KeyExpression& operator=(KeyExpression&&) noexcept;

    const std::string& text() const { return m_text; }
    KeyType keyType() const { return m_keyType; }
    uint16_t keyLength() const { return m_keyLength; }

    // True for a text key whose width depends on the record (TRIM, LTRIM, IIF between texts
    // of different widths): its key is the value blank-padded or cut to keyLength(), which is
    // the widest value up to the longest key a tag may have.
    bool variableWidth() const { return m_variableWidth; }
    // Takes the key length another program chose for a variable-width key. Throws
    // DatabaseError when the key is not variable-width or the length is out of range.
    void useKeyLength(uint16_t length);

    // Appends exactly keyLength() bytes: blank-padded text, a BCD number or a date double.
    void evaluate(const uint8_t* record, std::string& out) const;
    std::string evaluate(const uint8_t* record) const;

    struct Node;

private:
    std::string m_text;
    std::unique_ptr<Node> m_root;
    KeyType m_keyType = KeyType::Character;
    uint16_t m_keyLength = 0;
    bool m_variableWidth = false;
    bool m_ansiUpper = true;
};

// The FOR condition of a tag: a logical expression; the tag holds the records it is true for.
class ForCondition {
public:
    // Throws DatabaseError naming the condition when it cannot be parsed or is not logical.
    ForCondition(std::string_view text, const std::vector<FieldLayout>& fields,
                 uint8_t languageDriver = 0x57);
    ~ForCondition();
    ForCondition(ForCondition&&) noexcept;
    ForCondition& operator=(ForCondition&&) noexcept;

    const std::string& text() const { return m_text; }
    bool matches(const uint8_t* record) const;

private:
    std::string m_text;
    std::unique_ptr<KeyExpression::Node> m_root;
    bool m_ansiUpper = true;
};

// The longest character key a tag may have.
inline constexpr uint16_t kMaxCharacterKeyLength = 100;

} // namespace dbase
