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

constexpr char kDeletedMark = '*';
// A blank date as date expressions carry it: blanks sort before every date's digits, as a
// blank date compares below any real one in dBase.
const std::string kBlankDate(8, ' ');

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

// VAL(): the number at the start of the text after leading blanks; 0 when there is none.
Decimal numberFromText(std::string_view s) {
    while (!s.empty() && text::isPad(s.front()))
        s.remove_prefix(1);
    std::size_t n = 0;
    if (n < s.size() && (s[n] == '-' || s[n] == '+'))
        ++n;
    const std::size_t digitsFrom = n;
    while (n < s.size() && s[n] >= '0' && s[n] <= '9')
        ++n;
    std::size_t digits = n - digitsFrom;
    if (n < s.size() && s[n] == '.') {
        const std::size_t point = n++;
        while (n < s.size() && s[n] >= '0' && s[n] <= '9')
            ++n;
        digits += n - point - 1;
        if (n == point + 1)
            n = point; // "12." reads as 12
    }
    if (digits == 0)
        return Decimal{};
    std::string number(s.substr(s[0] == '+' ? 1 : 0, s[0] == '+' ? n - 1 : n));
    if (!number.empty() && number[0] == '.')
        number.insert(0, "0");
    if (number.size() > 1 && number[0] == '-' && number[1] == '.')
        number.insert(1, "0");
    return parseDecimal(number).value_or(Decimal{});
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

uint8_t lowerByte(uint8_t c, bool ansi) {
    if (c >= 'A' && c <= 'Z')
        return uint8_t(c + 32);
    if (!ansi)
        return c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return uint8_t(c + 0x20);
    switch (c) {
    case 0x8A:
        return 0x9A;
    case 0x8C:
        return 0x9C;
    case 0x8E:
        return 0x9E;
    case 0x9F:
        return 0xFF;
    default:
        return c;
    }
}

// MM/DD/YY or MM/DD/YYYY (any of / - . between) to YYYYMMDD; two-digit years are 19YY, as
// with dBase's default century. Blank text is the blank date; nothing for anything else.
std::optional<std::string> dateFromText(std::string_view s) {
    s = trim(s);
    if (s.empty() || s == "/  /" || s == "/ /")
        return kBlankDate;
    int parts[3] = {0, 0, 0};
    int widths[3] = {0, 0, 0};
    int at = 0;
    for (const char c : s) {
        if (c >= '0' && c <= '9') {
            if (++widths[at] > 4)
                return std::nullopt;
            parts[at] = parts[at] * 10 + (c - '0');
        } else if ((c == '/' || c == '-' || c == '.') && at < 2 && widths[at] > 0) {
            ++at;
        } else if (c != ' ') {
            return std::nullopt;
        }
    }
    if (at != 2 || widths[2] == 0)
        return std::nullopt;
    const int year = widths[2] <= 2 ? 1900 + parts[2] : parts[2];
    const Date d{year, parts[0], parts[1]};
    if (!d.isValid())
        return std::nullopt;
    return dateDigits(d);
}

// Text comparison as dBase makes it with SET EXACT OFF: the left text is cut or blank-padded
// to the right one's length, so "Smithson" = "Smith" and anything = "".
int compareText(std::string_view a, std::string_view b) {
    for (std::size_t i = 0; i < b.size(); ++i) {
        const unsigned char x = i < a.size() ? static_cast<unsigned char>(a[i]) : ' ';
        const unsigned char y = static_cast<unsigned char>(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

// == : equal whole texts, trailing blanks aside.
bool sameText(std::string_view a, std::string_view b) {
    return text::trimRight(a) == text::trimRight(b);
}

} // namespace

struct KeyExpression::Node {
    enum class Kind {
        Field,
        Text,
        Number,
        DateValue,
        LogicalValue,
        Concat,
        ConcatTrimmed,
        Add,
        Subtract,
        Multiply,
        Divide,
        Negate,
        Upper,
        Lower,
        Left,
        Right,
        Substr,
        Trim,
        LTrim,
        Str,
        Val,
        Dtos,
        Dtoc,
        Ctod,
        Day,
        Month,
        Year,
        Iif,
        Deleted,
        Not,
        And,
        Or,
        Compare,
        Contains,
    };
    enum class Op { Equal, Exact, NotEqual, Less, LessEqual, Greater, GreaterEqual };
    Kind kind = Kind::Text;
    ValueType type = ValueType::Character;
    uint16_t width = 0;    // result width of character nodes (the widest, when variable)
    bool variable = false; // the width depends on the record
    FieldLayout fieldCopy;
    std::string text; // text constant, or a date constant as YYYYMMDD
    Decimal number;
    int decimals = 0; // STR()
    int start = 0;    // SUBSTR(), 0-based
    Op op = Op::Equal;
    bool flag = false; // logical constant
    std::vector<std::unique_ptr<Node>> args;
};

namespace {

using Node = KeyExpression::Node;
using Kind = Node::Kind;

class Parser {
public:
    Parser(std::string_view text, const std::vector<FieldLayout>& fields, const char* what)
        : m_text(text), m_fields(fields), m_what(what) {}

    std::unique_ptr<Node> parse() {
        skipSpace();
        if (m_pos == m_text.size())
            fail("the expression is empty");
        auto root = parseOr();
        skipSpace();
        if (m_pos != m_text.size())
            fail("unexpected \"" + std::string(m_text.substr(m_pos, 1)) + "\"");
        return root;
    }

    [[noreturn]] void fail(const std::string& why) const {
        throw DatabaseError("Invalid " + std::string(m_what) + " \"" + std::string(m_text) +
                            "\": " + why + ".");
    }

private:
    void skipSpace() {
        while (m_pos < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_pos])))
            ++m_pos;
    }
    char peek(std::size_t ahead = 0) const {
        return m_pos + ahead < m_text.size() ? m_text[m_pos + ahead] : '\0';
    }
    bool accept(char c) {
        skipSpace();
        if (peek() == c) {
            ++m_pos;
            return true;
        }
        return false;
    }
    bool acceptText(std::string_view word) {
        skipSpace();
        if (m_text.substr(m_pos, word.size()) != word)
            return false;
        m_pos += word.size();
        return true;
    }
    // .AND., .OR., .NOT., .T. and the like, in any letter case.
    bool acceptDotWord(std::string_view word) {
        skipSpace();
        if (peek() != '.' || m_pos + word.size() + 2 > m_text.size())
            return false;
        if (!text::equalsNoCase(m_text.substr(m_pos + 1, word.size()), word) ||
            m_text[m_pos + 1 + word.size()] != '.')
            return false;
        m_pos += word.size() + 2;
        return true;
    }
    void expect(char c) {
        if (!accept(c))
            fail(m_pos < m_text.size() ? "expected \"" + std::string(1, c) + "\" at \"" +
                                             std::string(m_text.substr(m_pos)) + "\""
                                       : "expected \"" + std::string(1, c) + "\" at the end");
    }

    static std::unique_ptr<Node> make(Kind kind, ValueType type) {
        auto node = std::make_unique<Node>();
        node->kind = kind;
        node->type = type;
        return node;
    }
    void needLogical(const Node& n, const char* op) const {
        if (n.type != ValueType::Logical)
            fail(std::string(op) + " needs logical values");
    }

    std::unique_ptr<Node> parseOr() {
        auto left = parseAnd();
        while (acceptDotWord("OR")) {
            auto right = parseAnd();
            needLogical(*left, ".OR.");
            needLogical(*right, ".OR.");
            auto node = make(Kind::Or, ValueType::Logical);
            node->args.push_back(std::move(left));
            node->args.push_back(std::move(right));
            left = std::move(node);
        }
        return left;
    }

    std::unique_ptr<Node> parseAnd() {
        auto left = parseNot();
        while (acceptDotWord("AND")) {
            auto right = parseNot();
            needLogical(*left, ".AND.");
            needLogical(*right, ".AND.");
            auto node = make(Kind::And, ValueType::Logical);
            node->args.push_back(std::move(left));
            node->args.push_back(std::move(right));
            left = std::move(node);
        }
        return left;
    }

    std::unique_ptr<Node> parseNot() {
        skipSpace();
        if (acceptDotWord("NOT") || (peek() == '!' && peek(1) != '=' && accept('!'))) {
            auto operand = parseNot();
            needLogical(*operand, ".NOT.");
            auto node = make(Kind::Not, ValueType::Logical);
            node->args.push_back(std::move(operand));
            return node;
        }
        return parseComparison();
    }

    std::unique_ptr<Node> parseComparison() {
        auto left = parseSum();
        Node::Op op = Node::Op::Equal;
        bool contains = false;
        if (acceptText("=="))
            op = Node::Op::Exact;
        else if (acceptText("<>") || acceptText("!=") || acceptText("#"))
            op = Node::Op::NotEqual;
        else if (acceptText("<="))
            op = Node::Op::LessEqual;
        else if (acceptText(">="))
            op = Node::Op::GreaterEqual;
        else if (acceptText("="))
            op = Node::Op::Equal;
        else if (acceptText("<"))
            op = Node::Op::Less;
        else if (acceptText(">"))
            op = Node::Op::Greater;
        else if (acceptText("$"))
            contains = true;
        else
            return left;
        auto right = parseSum();
        if (left->type != right->type)
            fail("a comparison joins values of different types");
        if (contains && left->type != ValueType::Character)
            fail("\"$\" needs texts");
        if (left->type == ValueType::Logical && op != Node::Op::Equal && op != Node::Op::Exact &&
            op != Node::Op::NotEqual)
            fail("logical values can only be equal or not");
        auto node = make(contains ? Kind::Contains : Kind::Compare, ValueType::Logical);
        node->op = op;
        node->args.push_back(std::move(left));
        node->args.push_back(std::move(right));
        return node;
    }

    std::unique_ptr<Node> parseSum() {
        auto left = parseProduct();
        for (;;) {
            skipSpace();
            const char c = peek();
            if (c != '+' && c != '-')
                return left;
            ++m_pos;
            auto right = parseProduct();
            std::unique_ptr<Node> node;
            if (left->type == ValueType::Character && right->type == ValueType::Character) {
                node = make(c == '+' ? Kind::Concat : Kind::ConcatTrimmed, ValueType::Character);
                node->width = uint16_t(std::min(left->width + right->width, 65535));
                node->variable = left->variable || right->variable;
            } else if (left->type == ValueType::Numeric && right->type == ValueType::Numeric) {
                node = make(c == '+' ? Kind::Add : Kind::Subtract, ValueType::Numeric);
            } else {
                fail("\"" + std::string(1, c) + "\" joins values of different types");
            }
            node->args.push_back(std::move(left));
            node->args.push_back(std::move(right));
            left = std::move(node);
        }
    }

    std::unique_ptr<Node> parseProduct() {
        auto left = parseUnary();
        for (;;) {
            skipSpace();
            const char c = peek();
            if (c != '*' && c != '/')
                return left;
            ++m_pos;
            auto right = parseUnary();
            if (left->type != ValueType::Numeric || right->type != ValueType::Numeric)
                fail("\"" + std::string(1, c) + "\" needs numbers");
            auto node = make(c == '*' ? Kind::Multiply : Kind::Divide, ValueType::Numeric);
            node->args.push_back(std::move(left));
            node->args.push_back(std::move(right));
            left = std::move(node);
        }
    }

    std::unique_ptr<Node> parseUnary() {
        skipSpace();
        const char next = peek(1);
        if (peek() == '-' && !((next >= '0' && next <= '9') || next == '.')) {
            ++m_pos;
            auto operand = parseUnary();
            if (operand->type != ValueType::Numeric)
                fail("\"-\" needs a number");
            auto node = make(Kind::Negate, ValueType::Numeric);
            node->args.push_back(std::move(operand));
            return node;
        }
        return parseTerm();
    }

    std::unique_ptr<Node> parseTerm() {
        skipSpace();
        if (m_pos >= m_text.size())
            fail("a value is missing at the end");
        const char c = m_text[m_pos];
        if (c == '(') {
            ++m_pos;
            auto inner = parseOr();
            expect(')');
            return inner;
        }
        if (c == '"' || c == '\'' || c == '[')
            return parseString(c == '[' ? ']' : c);
        if (c == '{')
            return parseDate();
        if (c == '.' && std::isalpha(static_cast<unsigned char>(peek(1)))) {
            for (const auto& [word, value] : {std::pair{"T", true}, std::pair{"Y", true},
                                              std::pair{"F", false}, std::pair{"N", false}}) {
                if (acceptDotWord(word)) {
                    auto node = make(Kind::LogicalValue, ValueType::Logical);
                    node->flag = value;
                    return node;
                }
            }
            fail("unexpected \"" + std::string(m_text.substr(m_pos)) + "\"");
        }
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
        auto node = make(Kind::Text, ValueType::Character);
        node->text = std::string(m_text.substr(start, end - start));
        node->width = uint16_t(node->text.size());
        return node;
    }

    std::unique_ptr<Node> parseDate() {
        const std::size_t start = ++m_pos;
        const std::size_t end = m_text.find('}', start);
        if (end == std::string_view::npos)
            fail("a date constant is not closed");
        m_pos = end + 1;
        const std::string_view inside = m_text.substr(start, end - start);
        const std::optional<std::string> digits = dateFromText(inside);
        if (!digits)
            fail("{" + std::string(inside) + "} is no date");
        auto node = make(Kind::DateValue, ValueType::Date);
        node->text = *digits;
        return node;
    }

    std::unique_ptr<Node> parseNumber() {
        const std::size_t start = m_pos;
        if (m_text[m_pos] == '-')
            ++m_pos;
        // A point before a letter starts .AND. and the like: "Qty>0.AND.Price>1".
        while (m_pos < m_text.size() &&
               ((m_text[m_pos] >= '0' && m_text[m_pos] <= '9') ||
                (m_text[m_pos] == '.' && !std::isalpha(static_cast<unsigned char>(peek(1))))))
            ++m_pos;
        std::string literal(m_text.substr(start, m_pos - start));
        if (literal.size() > 1 && literal[literal.size() - 1] == '.')
            literal.pop_back();
        if (!literal.empty() && literal[0] == '.')
            literal.insert(0, "0");
        if (literal.size() > 1 && literal[0] == '-' && literal[1] == '.')
            literal.insert(1, "0");
        std::optional<Decimal> number = parseDecimal(literal);
        if (!number)
            fail("\"" + std::string(m_text.substr(start, m_pos - start)) + "\" is no number");
        auto node = make(Kind::Number, ValueType::Numeric);
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
        node->kind = Kind::Field;
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
            args.push_back(parseOr());
        while (accept(','));
        expect(')');
        return args;
    }

    int constantInt(const Node& n, const std::string& function) const {
        if (n.kind != Kind::Number || n.number.scale != 0 || n.number.negative ||
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
        // Functions of one text that keep its width.
        auto textFunction = [&](Kind kind) {
            need(1, 1);
            needType(0, ValueType::Character, "a text");
            node->kind = kind;
            node->type = ValueType::Character;
            node->width = args[0]->width;
            node->variable = args[0]->variable;
        };
        if (name == "UPPER") {
            textFunction(Kind::Upper);
        } else if (name == "LOWER") {
            textFunction(Kind::Lower);
        } else if (name == "TRIM" || name == "RTRIM") {
            textFunction(Kind::Trim);
            node->variable = true;
        } else if (name == "LTRIM") {
            textFunction(Kind::LTrim);
            node->variable = true;
        } else if (name == "LEFT" || name == "RIGHT") {
            need(2, 2);
            needType(0, ValueType::Character, "a text");
            // A count beyond the text's width gives the whole text.
            node->kind = name == "LEFT" ? Kind::Left : Kind::Right;
            node->type = ValueType::Character;
            node->width = uint16_t(std::min<int>(constantInt(*args[1], name), args[0]->width));
            node->variable = args[0]->variable;
        } else if (name == "SUBSTR") {
            need(2, 3);
            needType(0, ValueType::Character, "a text");
            const int from = constantInt(*args[1], name);
            if (from < 1)
                fail("SUBSTR() counts from 1");
            const int rest = std::max(0, int(args[0]->width) - from + 1);
            node->kind = Kind::Substr;
            node->type = ValueType::Character;
            node->start = from - 1;
            node->width =
                uint16_t(args.size() > 2 ? std::min(constantInt(*args[2], name), rest) : rest);
            node->variable = args[0]->variable;
        } else if (name == "STR") {
            need(1, 3);
            needType(0, ValueType::Numeric, "a number");
            node->kind = Kind::Str;
            node->type = ValueType::Character;
            const int width = args.size() > 1 ? constantInt(*args[1], name) : 10;
            const int decimals = args.size() > 2 ? constantInt(*args[2], name) : 0;
            if (width < 1 || width > kMaxCharacterKeyLength)
                fail("STR() length out of range");
            node->width = uint16_t(width);
            node->decimals = std::min(decimals, std::max(width - 2, 0));
        } else if (name == "VAL") {
            need(1, 1);
            needType(0, ValueType::Character, "a text");
            node->kind = Kind::Val;
            node->type = ValueType::Numeric;
        } else if (name == "DTOS" || name == "DTOC") {
            need(1, 1);
            needType(0, ValueType::Date, "a date");
            node->kind = name == "DTOS" ? Kind::Dtos : Kind::Dtoc;
            node->type = ValueType::Character;
            node->width = 8;
        } else if (name == "CTOD") {
            need(1, 1);
            needType(0, ValueType::Character, "a text");
            node->kind = Kind::Ctod;
            node->type = ValueType::Date;
        } else if (name == "DAY" || name == "MONTH" || name == "YEAR") {
            need(1, 1);
            needType(0, ValueType::Date, "a date");
            node->kind = name == "DAY" ? Kind::Day : name == "MONTH" ? Kind::Month : Kind::Year;
            node->type = ValueType::Numeric;
        } else if (name == "IIF") {
            need(3, 3);
            needType(0, ValueType::Logical, "a logical condition first");
            if (args[1]->type != args[2]->type)
                fail("IIF() needs two values of one type");
            node->kind = Kind::Iif;
            node->type = args[1]->type;
            node->width = std::max(args[1]->width, args[2]->width);
            node->variable =
                args[1]->variable || args[2]->variable || args[1]->width != args[2]->width;
        } else if (name == "DELETED") {
            need(0, 0);
            node->kind = Kind::Deleted;
            node->type = ValueType::Logical;
        } else {
            fail("unknown function \"" + name + "\"");
        }
        node->args = std::move(args);
        return node;
    }

    std::string_view m_text;
    const std::vector<FieldLayout>& m_fields;
    const char* m_what;
    std::size_t m_pos = 0;
};

std::string_view fieldBytes(const Node& n, const uint8_t* record) {
    return {reinterpret_cast<const char*>(record + n.fieldCopy.offset), n.fieldCopy.length};
}

void evalText(const Node& n, const uint8_t* record, std::string& out, bool ansi);
bool evalLogical(const Node& n, const uint8_t* record, bool ansi);

// YYYYMMDD, or eight blanks for a blank date.
std::string evalDate(const Node& n, const uint8_t* record, bool ansi) {
    switch (n.kind) {
    case Kind::Field: {
        const std::string_view raw = fieldBytes(n, record);
        return parseDateDigits(raw) ? std::string(raw) : kBlankDate;
    }
    case Kind::DateValue:
        return n.text;
    case Kind::Ctod: {
        std::string t;
        evalText(*n.args[0], record, t, ansi);
        return dateFromText(t).value_or(kBlankDate);
    }
    case Kind::Iif:
        return evalDate(*n.args[evalLogical(*n.args[0], record, ansi) ? 1 : 2], record, ansi);
    default:
        return kBlankDate;
    }
}

Decimal evalNumber(const Node& n, const uint8_t* record, bool ansi) {
    switch (n.kind) {
    case Kind::Field:
        return numberFromField(fieldBytes(n, record));
    case Kind::Number:
        return n.number;
    case Kind::Add:
    case Kind::Subtract:
    case Kind::Multiply:
    case Kind::Divide: {
        const Decimal a = evalNumber(*n.args[0], record, ansi);
        const Decimal b = evalNumber(*n.args[1], record, ansi);
        const double x = toDouble(a);
        const double y = toDouble(b);
        switch (n.kind) {
        case Kind::Add:
            return numberFromDouble(x + y, std::max(a.scale, b.scale));
        case Kind::Subtract:
            return numberFromDouble(x - y, std::max(a.scale, b.scale));
        case Kind::Multiply:
            return numberFromDouble(x * y, a.scale + b.scale);
        default:
            // A key must have a value for every record: division by zero gives zero.
            return y == 0 ? Decimal{} : numberFromDouble(x / y, 10);
        }
    }
    case Kind::Negate: {
        Decimal v = evalNumber(*n.args[0], record, ansi);
        if (v.digits.find_first_not_of('0') != std::string::npos)
            v.negative = !v.negative;
        return v;
    }
    case Kind::Val: {
        std::string t;
        evalText(*n.args[0], record, t, ansi);
        return numberFromText(t);
    }
    case Kind::Day:
    case Kind::Month:
    case Kind::Year: {
        const std::string d = evalDate(*n.args[0], record, ansi);
        const std::optional<Date> date = parseDateDigits(d);
        if (!date)
            return Decimal{};
        const int v = n.kind == Kind::Day     ? date->day
                      : n.kind == Kind::Month ? date->month
                                              : date->year;
        return parseDecimal(std::to_string(v)).value_or(Decimal{});
    }
    case Kind::Iif:
        return evalNumber(*n.args[evalLogical(*n.args[0], record, ansi) ? 1 : 2], record, ansi);
    default:
        return Decimal{};
    }
}

void evalText(const Node& n, const uint8_t* record, std::string& out, bool ansi) {
    const std::size_t start = out.size();
    switch (n.kind) {
    case Kind::Field:
        out.append(fieldBytes(n, record));
        break;
    case Kind::Text:
        out.append(n.text);
        break;
    case Kind::Concat:
        evalText(*n.args[0], record, out, ansi);
        evalText(*n.args[1], record, out, ansi);
        break;
    case Kind::ConcatTrimmed: {
        evalText(*n.args[0], record, out, ansi);
        std::size_t end = out.size();
        while (end > start && out[end - 1] == ' ')
            --end;
        const std::size_t blanks = out.size() - end;
        out.resize(end);
        evalText(*n.args[1], record, out, ansi);
        out.append(blanks, ' ');
        break;
    }
    case Kind::Upper:
        evalText(*n.args[0], record, out, ansi);
        for (std::size_t i = start; i < out.size(); ++i)
            out[i] = char(upperByte(uint8_t(out[i]), ansi));
        break;
    case Kind::Lower:
        evalText(*n.args[0], record, out, ansi);
        for (std::size_t i = start; i < out.size(); ++i)
            out[i] = char(lowerByte(uint8_t(out[i]), ansi));
        break;
    case Kind::Left:
        evalText(*n.args[0], record, out, ansi);
        if (out.size() > start + n.width)
            out.resize(start + n.width);
        break;
    case Kind::Right: {
        evalText(*n.args[0], record, out, ansi);
        const std::size_t length = out.size() - start;
        if (length > n.width)
            out.erase(start, length - n.width);
        break;
    }
    case Kind::Substr: {
        evalText(*n.args[0], record, out, ansi);
        const std::size_t length = out.size() - start;
        const std::size_t from = std::min<std::size_t>(std::size_t(n.start), length);
        const std::size_t count = std::min<std::size_t>(n.width, length - from);
        out.erase(start + from + count);
        out.erase(start, from);
        break;
    }
    case Kind::Trim: {
        evalText(*n.args[0], record, out, ansi);
        std::size_t end = out.size();
        while (end > start && out[end - 1] == ' ')
            --end;
        out.resize(end);
        break;
    }
    case Kind::LTrim: {
        evalText(*n.args[0], record, out, ansi);
        std::size_t from = start;
        while (from < out.size() && out[from] == ' ')
            ++from;
        out.erase(start, from - start);
        break;
    }
    case Kind::Str: {
        const std::string text = formatDecimal(evalNumber(*n.args[0], record, ansi), n.decimals);
        if (text.size() > n.width)
            out.append(n.width, '*');
        else
            out.append(n.width - text.size(), ' ').append(text);
        break;
    }
    case Kind::Dtos:
        out.append(evalDate(*n.args[0], record, ansi));
        break;
    case Kind::Dtoc: {
        const std::string d = evalDate(*n.args[0], record, ansi);
        if (d == kBlankDate)
            out.append("  /  /  ");
        else
            out.append(d, 4, 2).append("/").append(d, 6, 2).append("/").append(d, 2, 2);
        break;
    }
    case Kind::Iif:
        evalText(*n.args[evalLogical(*n.args[0], record, ansi) ? 1 : 2], record, out, ansi);
        break;
    default:
        break;
    }
}

bool compareWith(Node::Op op, int c) {
    switch (op) {
    case Node::Op::Equal:
    case Node::Op::Exact:
        return c == 0;
    case Node::Op::NotEqual:
        return c != 0;
    case Node::Op::Less:
        return c < 0;
    case Node::Op::LessEqual:
        return c <= 0;
    case Node::Op::Greater:
        return c > 0;
    case Node::Op::GreaterEqual:
        return c >= 0;
    }
    return false;
}

bool evalCompare(const Node& n, const uint8_t* record, bool ansi) {
    const Node& a = *n.args[0];
    const Node& b = *n.args[1];
    switch (a.type) {
    case ValueType::Character: {
        std::string x, y;
        evalText(a, record, x, ansi);
        evalText(b, record, y, ansi);
        if (n.op == Node::Op::Exact)
            return sameText(x, y);
        return compareWith(n.op, compareText(x, y));
    }
    case ValueType::Numeric: {
        const double x = toDouble(evalNumber(a, record, ansi));
        const double y = toDouble(evalNumber(b, record, ansi));
        return compareWith(n.op, x < y ? -1 : (x > y ? 1 : 0));
    }
    case ValueType::Date: {
        const int c = evalDate(a, record, ansi).compare(evalDate(b, record, ansi));
        return compareWith(n.op, c < 0 ? -1 : (c > 0 ? 1 : 0));
    }
    case ValueType::Logical:
        return compareWith(n.op,
                           evalLogical(a, record, ansi) == evalLogical(b, record, ansi) ? 0 : 1);
    }
    return false;
}

bool evalLogical(const Node& n, const uint8_t* record, bool ansi) {
    switch (n.kind) {
    case Kind::Field: {
        const char c = char(record[n.fieldCopy.offset]);
        return c == 'T' || c == 't' || c == 'Y' || c == 'y';
    }
    case Kind::LogicalValue:
        return n.flag;
    case Kind::Deleted:
        return record[0] == uint8_t(kDeletedMark);
    case Kind::Not:
        return !evalLogical(*n.args[0], record, ansi);
    case Kind::And:
        return evalLogical(*n.args[0], record, ansi) && evalLogical(*n.args[1], record, ansi);
    case Kind::Or:
        return evalLogical(*n.args[0], record, ansi) || evalLogical(*n.args[1], record, ansi);
    case Kind::Compare:
        return evalCompare(n, record, ansi);
    case Kind::Contains: {
        std::string x, y;
        evalText(*n.args[0], record, x, ansi);
        evalText(*n.args[1], record, y, ansi);
        return y.find(x) != std::string::npos;
    }
    case Kind::Iif:
        return evalLogical(*n.args[evalLogical(*n.args[0], record, ansi) ? 1 : 2], record, ansi);
    default:
        return false;
    }
}

} // namespace

KeyExpression::KeyExpression(std::string_view text, const std::vector<FieldLayout>& fields,
                             uint8_t languageDriver)
    : m_text(text), m_ansiUpper(isWindows1252Driver(languageDriver)) {
    Parser parser(m_text, fields, "index expression");
    m_root = parser.parse();
    switch (m_root->type) {
    case ValueType::Character:
        m_keyType = KeyType::Character;
        m_variableWidth = m_root->variable;
        if (m_root->width == 0)
            parser.fail("the key is empty");
        if (m_root->width > kMaxCharacterKeyLength && !m_variableWidth)
            parser.fail("the key is longer than " + std::to_string(kMaxCharacterKeyLength) +
                        " characters");
        m_keyLength = std::min(m_root->width, kMaxCharacterKeyLength);
        break;
    case ValueType::Numeric:
        m_keyType = KeyType::Numeric;
        m_keyLength = kBcdKeyLength;
        break;
    case ValueType::Date:
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

void KeyExpression::useKeyLength(uint16_t length) {
    if (!m_variableWidth || length < 1 || length > kMaxCharacterKeyLength)
        throw DatabaseError("The index expression \"" + m_text + "\" cannot give keys of " +
                            std::to_string(length) + " characters.");
    m_keyLength = length;
}

void KeyExpression::evaluate(const uint8_t* record, std::string& out) const {
    switch (m_keyType) {
    case KeyType::Character: {
        const std::size_t start = out.size();
        evalText(*m_root, record, out, m_ansiUpper);
        if (m_variableWidth)
            out.resize(start + m_keyLength, ' ');
        break;
    }
    case KeyType::Numeric: {
        const BcdKey key = bcdFromDecimal(plainText(evalNumber(*m_root, record, m_ansiUpper)));
        out.append(reinterpret_cast<const char*>(key.data()), key.size());
        break;
    }
    case KeyType::Date:
        out.append(dateKey(evalDate(*m_root, record, m_ansiUpper)));
        break;
    }
}

std::string KeyExpression::evaluate(const uint8_t* record) const {
    std::string out;
    out.reserve(m_keyLength);
    evaluate(record, out);
    return out;
}

ForCondition::ForCondition(std::string_view text, const std::vector<FieldLayout>& fields,
                           uint8_t languageDriver)
    : m_text(text), m_ansiUpper(isWindows1252Driver(languageDriver)) {
    Parser parser(m_text, fields, "FOR condition");
    m_root = parser.parse();
    if (m_root->type != ValueType::Logical)
        parser.fail("the condition is not a logical value");
}

ForCondition::~ForCondition() = default;
ForCondition::ForCondition(ForCondition&&) noexcept = default;
ForCondition& ForCondition::operator=(ForCondition&&) noexcept = default;

bool ForCondition::matches(const uint8_t* record) const {
    return evalLogical(*m_root, record, m_ansiUpper);
}

} // namespace dbase
