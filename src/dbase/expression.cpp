#include "dbase/expression.h"

#include "dbase/bcd.h"
#include "dbase/code_page.h"
#include "dbase/database_error.h"
#include "dbase/decimal.h"
#include "dbase/field.h"
#include "dbase/text.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>

namespace dbase {

namespace {

enum class ValueType { Character, Numeric, Date, Logical };

using text::trim;

Decimal numberFromDouble(double v, int scale) {
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.*f", std::clamp(scale, 0, 15), v);
    return parseDecimal(buf).value_or(Decimal{});
}

// Field text of an N or F field; blank or unreadable text is zero, as in dBase.
Decimal numberFromField(std::string_view raw) {
    const std::string_view s = trim(raw);
    if (s.empty())
        return Decimal{};
    if (std::optional<Decimal> n = parseDecimal(s))
        return *n;
    double v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec == std::errc() && end == s.data() + s.size())
        return numberFromDouble(v, 10);
    return Decimal{};
}

double toDouble(const Decimal& n) {
    std::string text = n.negative ? "-" : "";
    text += n.digits;
    if (n.scale > 0)
        text.insert(text.size() - std::size_t(n.scale), ".");
    double v = 0;
    std::from_chars(text.data(), text.data() + text.size(), v);
    return v;
}

std::string plainText(const Decimal& n) {
    return formatDecimal(n, std::max(n.scale, 0));
}

uint8_t upperByte(uint8_t c, bool ansi) {
    if (c >= 'a' && c <= 'z')
        return uint8_t(c - 32);
    if (!ansi)
        return c;
    // Windows-1252: à-þ (not ÷) map down by 0x20; š, œ, ž and ÿ have their own capitals.
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        return uint8_t(c - 0x20);
    switch (c) {
    case 0x9A:
        return 0x8A;
    case 0x9C:
        return 0x8C;
    case 0x9E:
        return 0x8E;
    case 0xFF:
        return 0x9F;
    default:
        return c;
    }
}

} // namespace

struct KeyExpression::Node {
    enum class Kind { Field, Text, Number, Concat, Add, Upper, Left, Str, Dtos };
    Kind kind = Kind::Text;
    ValueType type = ValueType::Character;
    uint16_t width = 0; // result width of character nodes
    FieldLayout fieldCopy;
    std::string text;
    Decimal number;
    int decimals = 0;
    std::vector<std::unique_ptr<Node>> args;
};

namespace {

using Node = KeyExpression::Node;

class Parser {
public:
    Parser(std::string_view text, const std::vector<FieldLayout>& fields)
        : m_text(text), m_fields(fields) {}

    std::unique_ptr<Node> parse() {
        auto root = parseSum();
        skipSpace();
        if (m_pos != m_text.size())
            fail("unexpected \"" + std::string(m_text.substr(m_pos, 1)) + "\"");
        return root;
    }

    [[noreturn]] void fail(const std::string& why) const {
        throw DatabaseError("Invalid index expression \"" + std::string(m_text) + "\": " + why +
                            ".");
    }

private:
    void skipSpace() {
        while (m_pos < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_pos])))
            ++m_pos;
    }
    bool accept(char c) {
        skipSpace();
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }
    void expect(char c) {
        if (!accept(c))
            fail(m_pos < m_text.size() ? "expected \"" + std::string(1, c) + "\" at \"" +
                                             std::string(m_text.substr(m_pos)) + "\""
                                       : "expected \"" + std::string(1, c) + "\" at the end");
    }

    std::unique_ptr<Node> parseSum() {
        auto left = parseTerm();
        while (accept('+')) {
            auto right = parseTerm();
            auto node = std::make_unique<Node>();
            if (left->type == ValueType::Character && right->type == ValueType::Character) {
                node->kind = Node::Kind::Concat;
                node->type = ValueType::Character;
                node->width = uint16_t(std::min(left->width + right->width, 65535));
            } else if (left->type == ValueType::Numeric && right->type == ValueType::Numeric) {
                node->kind = Node::Kind::Add;
                node->type = ValueType::Numeric;
            } else {
                fail("\"+\" joins values of different types");
            }
            node->args.push_back(std::move(left));
            node->args.push_back(std::move(right));
            left = std::move(node);
        }
        return left;
    }

    std::unique_ptr<Node> parseTerm() {
        skipSpace();
        if (m_pos >= m_text.size())
            fail("a value is missing at the end");
        const char c = m_text[m_pos];
        if (c == '(') {
            ++m_pos;
            auto inner = parseSum();
            expect(')');
            return inner;
        }
        if (c == '"' || c == '\'' || c == '[')
            return parseString(c == '[' ? ']' : c);
        if ((c >= '0' && c <= '9') || c == '.' || c == '-')
            return parseNumber();
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_')
            return parseName();
        fail("unexpected \"" + std::string(1, c) + "\"");
    }

    std::unique_ptr<Node> parseString(char close) {
        const std::size_t start = ++m_pos;
        const std::size_t end = m_text.find(close, start);
        if (end == std::string_view::npos)
            fail("a text constant is not closed");
        m_pos = end + 1;
        auto node = std::make_unique<Node>();
        node->kind = Node::Kind::Text;
        node->type = ValueType::Character;
        node->text = std::string(m_text.substr(start, end - start));
        node->width = uint16_t(node->text.size());
        return node;
    }

    std::unique_ptr<Node> parseNumber() {
        const std::size_t start = m_pos;
        if (m_text[m_pos] == '-')
            ++m_pos;
        while (m_pos < m_text.size() &&
               ((m_text[m_pos] >= '0' && m_text[m_pos] <= '9') || m_text[m_pos] == '.'))
            ++m_pos;
        auto node = std::make_unique<Node>();
        node->kind = Node::Kind::Number;
        node->type = ValueType::Numeric;
        std::optional<Decimal> number = parseDecimal(m_text.substr(start, m_pos - start));
        if (!number)
            fail("\"" + std::string(m_text.substr(start, m_pos - start)) + "\" is no number");
        node->number = std::move(*number);
        return node;
    }

    std::unique_ptr<Node> parseName() {
        const std::size_t start = m_pos;
        while (m_pos < m_text.size() &&
               (std::isalnum(static_cast<unsigned char>(m_text[m_pos])) || m_text[m_pos] == '_'))
            ++m_pos;
        std::string name(m_text.substr(start, m_pos - start));
        const std::string upper = text::upper(name);
        if (accept('('))
            return parseCall(upper);
        for (const FieldLayout& f : m_fields) {
            if (text::upper(f.name) == upper)
                return fieldNode(f);
        }
        fail("unknown field \"" + name + "\"");
    }

    std::unique_ptr<Node> fieldNode(const FieldLayout& f) {
        auto node = std::make_unique<Node>();
        node->kind = Node::Kind::Field;
        node->fieldCopy = f;
        switch (f.type) {
        case 'C':
            node->type = ValueType::Character;
            node->width = f.length;
            break;
        case 'N':
        case 'F':
            node->type = ValueType::Numeric;
            break;
        case 'D':
            node->type = ValueType::Date;
            break;
        case 'L':
            node->type = ValueType::Logical;
            break;
        default:
            fail("field \"" + f.name + "\" cannot be part of a key");
        }
        return node;
    }

    std::vector<std::unique_ptr<Node>> parseArgs() {
        std::vector<std::unique_ptr<Node>> args;
        if (accept(')'))
            return args;
        do
            args.push_back(parseSum());
        while (accept(','));
        expect(')');
        return args;
    }

    int constantInt(const Node& n, const std::string& function) const {
        if (n.kind != Node::Kind::Number || n.number.scale != 0 || n.number.negative ||
            n.number.digits.size() > 4)
            fail(function + "() needs a whole number constant here");
        int v = 0;
        std::from_chars(n.number.digits.data(), n.number.digits.data() + n.number.digits.size(), v);
        return v;
    }

    std::unique_ptr<Node> parseCall(const std::string& name) {
        auto args = parseArgs();
        auto node = std::make_unique<Node>();
        auto need = [&](std::size_t minArgs, std::size_t maxArgs) {
            if (args.size() < minArgs || args.size() > maxArgs)
                fail(name + "() has the wrong number of arguments");
        };
        auto needType = [&](std::size_t i, ValueType t, const char* what) {
            if (args[i]->type != t)
                fail(name + "() needs " + what);
        };
        if (name == "UPPER") {
            need(1, 1);
            needType(0, ValueType::Character, "a text");
            node->kind = Node::Kind::Upper;
            node->width = args[0]->width;
        } else if (name == "LEFT") {
            need(2, 2);
            needType(0, ValueType::Character, "a text");
            // A count beyond the text's width gives the whole text.
            node->kind = Node::Kind::Left;
            node->width = uint16_t(std::min<int>(constantInt(*args[1], name), args[0]->width));
        } else if (name == "STR") {
            need(1, 3);
            needType(0, ValueType::Numeric, "a number");
            node->kind = Node::Kind::Str;
            const int width = args.size() > 1 ? constantInt(*args[1], name) : 10;
            const int decimals = args.size() > 2 ? constantInt(*args[2], name) : 0;
            if (width < 1 || width > kMaxCharacterKeyLength)
                fail("STR() length out of range");
            node->width = uint16_t(width);
            node->decimals = std::min(decimals, std::max(width - 2, 0));
        } else if (name == "DTOS") {
            need(1, 1);
            needType(0, ValueType::Date, "a date");
            node->kind = Node::Kind::Dtos;
            node->width = 8;
        } else {
            fail("unknown function \"" + name + "\"");
        }
        node->type = ValueType::Character;
        node->args = std::move(args);
        return node;
    }

    std::string_view m_text;
    const std::vector<FieldLayout>& m_fields;
    std::size_t m_pos = 0;
};

std::string_view fieldBytes(const Node& n, const uint8_t* record) {
    return {reinterpret_cast<const char*>(record + n.fieldCopy.offset), n.fieldCopy.length};
}

Decimal evalNumber(const Node& n, const uint8_t* record) {
    switch (n.kind) {
    case Node::Kind::Field:
        return numberFromField(fieldBytes(n, record));
    case Node::Kind::Number:
        return n.number;
    case Node::Kind::Add: {
        const Decimal a = evalNumber(*n.args[0], record);
        const Decimal b = evalNumber(*n.args[1], record);
        return numberFromDouble(toDouble(a) + toDouble(b), std::max(a.scale, b.scale));
    }
    default:
        return Decimal{};
    }
}

void evalText(const Node& n, const uint8_t* record, std::string& out, bool ansi) {
    const std::size_t start = out.size();
    switch (n.kind) {
    case Node::Kind::Field:
        out.append(fieldBytes(n, record));
        break;
    case Node::Kind::Text:
        out.append(n.text);
        break;
    case Node::Kind::Concat:
        evalText(*n.args[0], record, out, ansi);
        evalText(*n.args[1], record, out, ansi);
        break;
    case Node::Kind::Upper:
        evalText(*n.args[0], record, out, ansi);
        for (std::size_t i = start; i < out.size(); ++i)
            out[i] = char(upperByte(uint8_t(out[i]), ansi));
        break;
    case Node::Kind::Left:
        evalText(*n.args[0], record, out, ansi);
        out.resize(start + n.width);
        break;
    case Node::Kind::Str: {
        const std::string text = formatDecimal(evalNumber(*n.args[0], record), n.decimals);
        if (text.size() > n.width)
            out.append(n.width, '*');
        else
            out.append(n.width - text.size(), ' ').append(text);
        break;
    }
    case Node::Kind::Dtos: {
        const std::string_view raw = fieldBytes(*n.args[0], record);
        if (parseDateDigits(raw))
            out.append(raw);
        else
            out.append(8, ' ');
        break;
    }
    default:
        break;
    }
}

} // namespace

KeyExpression::KeyExpression(std::string_view text, const std::vector<FieldLayout>& fields,
                             uint8_t languageDriver)
    : m_text(text), m_ansiUpper(isWindows1252Driver(languageDriver)) {
    Parser parser(m_text, fields);
    if (trim(m_text).empty())
        parser.fail("the expression is empty");
    m_root = parser.parse();
    switch (m_root->type) {
    case ValueType::Character:
        m_keyType = KeyType::Character;
        if (m_root->width == 0)
            parser.fail("the key is empty");
        if (m_root->width > kMaxCharacterKeyLength)
            parser.fail("the key is longer than " + std::to_string(kMaxCharacterKeyLength) +
                        " characters");
        m_keyLength = m_root->width;
        break;
    case ValueType::Numeric:
        m_keyType = KeyType::Numeric;
        m_keyLength = kBcdKeyLength;
        break;
    case ValueType::Date:
        if (m_root->kind != Node::Kind::Field)
            parser.fail("a date key must be a date field");
        m_keyType = KeyType::Date;
        m_keyLength = kDateKeyLength;
        break;
    case ValueType::Logical:
        parser.fail("a logical value cannot be an index key");
    }
}

KeyExpression::~KeyExpression() = default;
KeyExpression::KeyExpression(KeyExpression&&) noexcept = default;
KeyExpression& KeyExpression::operator=(KeyExpression&&) noexcept = default;

void KeyExpression::evaluate(const uint8_t* record, std::string& out) const {
    switch (m_keyType) {
    case KeyType::Character:
        evalText(*m_root, record, out, m_ansiUpper);
        break;
    case KeyType::Numeric: {
        const BcdKey key = bcdFromDecimal(plainText(evalNumber(*m_root, record)));
        out.append(reinterpret_cast<const char*>(key.data()), key.size());
        break;
    }
    case KeyType::Date:
        out.append(dateKey(fieldBytes(*m_root, record)));
        break;
    }
}

std::string KeyExpression::evaluate(const uint8_t* record) const {
    std::string out;
    out.reserve(m_keyLength);
    evaluate(record, out);
    return out;
}

} // namespace dbase
