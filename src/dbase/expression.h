#pragma once

// dBase key expressions for index tags: field names, character literals, "+" and the
// functions UPPER, LEFT, STR and DTOS, evaluated over a raw record buffer.

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

    // Appends exactly keyLength() bytes: blank-padded text, a BCD number or a date double.
    void evaluate(const uint8_t* record, std::string& out) const;
    std::string evaluate(const uint8_t* record) const;

    struct Node;

private:
    std::string m_text;
    std::unique_ptr<Node> m_root;
    KeyType m_keyType = KeyType::Character;
    uint16_t m_keyLength = 0;
    bool m_ansiUpper = true;
};

// The longest character key a tag may have.
inline constexpr uint16_t kMaxCharacterKeyLength = 100;

} // namespace dbase
