#include "find/search_criteria.h"

#include "formats/date_format.h"
#include "lists/lookup_lists.h"
#include "items/item_schema.h"
#include "items/item_table.h"

#include <charconv>
#include <cstring>

const QString kInvalidCriteriaMessage =
    QStringLiteral("Invalid search criteria entered.  Please correct.");
const QString kNoCriteriaMessage = QStringLiteral("No search criteria entered.");
const QString kNoMatchesMessage =
    QStringLiteral("No valid matches found.  Search criteria will be cleared.");

QString tooManyItemsMessage() {
    return QStringLiteral("More than ") + QString::number(kMaxSearchItems) +
           QStringLiteral(" search items have been entered.  ") +
           QStringLiteral("This exceeds the maximum allowable.  Search criteria will be cleared.");
}

// ---------------------------------------------------------------------------------------------
// Rows

RowKind searchRowKind(int row) {
    const ItemField* f = itemField(row);
    if (!f)
        return RowKind::Text;
    switch (f->type) {
    case FieldType::Integer:
    case FieldType::Float:
        return RowKind::Numeric;
    case FieldType::Date:
        return RowKind::Date;
    case FieldType::Character:
        break;
    }
    return RowKind::Text;
}

int searchRowLookupList(int row) {
    for (const LookupListInfo& l : kLookupLists)
        if (l.fieldNumber == row)
            return l.number;
    return 0;
}

bool hasYesNoChoices(int row) {
    return row == item_field::Warranty;
}

bool hasOptionCell(int row) {
    if (row < 1 || row > kSearchRows)
        return false;
    return searchRowKind(row) != RowKind::Text || searchRowLookupList(row) != 0 ||
           hasYesNoChoices(row);
}

int criterionMaxLength(int row) {
    const ItemField* f = itemField(row);
    return f ? f->width : 0;
}

QString criterionMask(int row, RowOperator op, QChar dateSeparator) {
    // Qt masks: x any character, 0 optional digit, 9 required digit, backslash for literals
    // (">", "<", "A", "N" and "D" mean something to the mask); "_" shows the free places.
    static const QString number = QStringLiteral("xxxxxxxxx");
    static const QString upperNumber = QStringLiteral("xxxxxxxx");
    const QString sep = QStringLiteral("\\") + dateSeparator;
    const QString date =
        QStringLiteral("00") + sep + QStringLiteral("00") + sep + QStringLiteral("9999");
    const RowKind kind = searchRowKind(row);
    if (kind == RowKind::Text)
        return {};
    const QString& value = kind == RowKind::Numeric ? number : date;
    const QString& upper = kind == RowKind::Numeric ? upperNumber : date;
    switch (op) {
    case RowOperator::Equals:
        return QStringLiteral("= ") + value + QStringLiteral(";_");
    case RowOperator::Greater:
        return QStringLiteral("\\> ") + value + QStringLiteral(";_");
    case RowOperator::Less:
        return QStringLiteral("\\< ") + value + QStringLiteral(";_");
    case RowOperator::Range:
        return QStringLiteral("\\> ") + value + QStringLiteral(" \\A\\N\\D \\< ") + upper +
               QStringLiteral(";_");
    }
    return {};
}

// ---------------------------------------------------------------------------------------------
// Reading what was typed

std::optional<double> readPlainDecimal(QStringView text) {
    text = text.trimmed();
    std::string s;
    s.reserve(size_t(text.size()));
    for (QChar c : text) {
        if (c.unicode() > 0x7f)
            return std::nullopt;
        s.push_back(char(c.unicode()));
    }
    size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    const size_t mantissaStart = i;
    int digits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9')
        ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9')
            ++i, ++digits;
    }
    if (digits == 0)
        return std::nullopt;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            ++i;
        const size_t expStart = i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9')
            ++i;
        if (i == expStart)
            return std::nullopt;
    }
    if (i != s.size())
        return std::nullopt;
    // from_chars takes no "+"; the sign is put back afterwards.
    const bool negative = s[0] == '-';
    double value = 0;
    const char* begin = s.data() + mantissaStart;
    const char* end = s.data() + s.size();
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || ptr != end)
        return std::nullopt;
    return negative ? -value : value;
}

bool isUntouchedDateSlot(QStringView text) {
    for (QChar c : text)
        if (c != QLatin1Char(' ') && c != QLatin1Char('_') && c != QLatin1Char('/') &&
            c != QLatin1Char('-') && c != QLatin1Char('.'))
            return false;
    return true;
}

namespace {

QChar operatorChar(RowOperator op) {
    switch (op) {
    case RowOperator::Greater:
        return QLatin1Char('>');
    case RowOperator::Less:
        return QLatin1Char('<');
    default:
        return QLatin1Char('=');
    }
}

QString removeFirst(QString text, QChar c) {
    const qsizetype at = text.indexOf(c);
    if (at >= 0)
        text.remove(at, 1);
    return text;
}

// The lower and upper sides of a range cell: "> low AND < high".
std::pair<QString, QString> rangeSides(const QString& cell) {
    const QString rest =
        removeFirst(removeFirst(cell, QLatin1Char('<')), QLatin1Char('>')).trimmed();
    const qsizetype at = rest.indexOf(QLatin1String("AND"));
    if (at < 0)
        return {rest, QString()};
    return {rest.left(at).trimmed(), rest.mid(at + 3).trimmed()};
}

// Upper case character by character, as the record side does through the code page table,
// so that a letter with no single-character capital (the sharp s) matches itself.
QString upperEachCharacter(const QString& text) {
    QString result = text;
    for (QChar& c : result)
        c = c.toUpper();
    return result;
}

// Whole days since 30 December 1899, the day numbers dates were stored as.
QString dayNumberText(const QDate& date) {
    return QString::number(QDate(1899, 12, 30).daysTo(date));
}

enum class Added { Ok, Overflow };

} // namespace

SaveResult SaveFields(SearchCriteria& criteria, const std::array<QString, kSearchRows>& cells,
                      const std::array<RowOperator, kSearchRows>& operators,
                      const DateFormat& dates) {
    SearchItems& items = criteria.items;
    const size_t startCount = items.size();
    const auto add = [&](SearchItem item) {
        if (items.size() + 1 > size_t(kMaxSearchItems))
            return Added::Overflow;
        items.push_back(std::move(item));
        return Added::Ok;
    };
    const auto overflow = [&] {
        criteria.clear();
        return SaveResult{SaveOutcome::Overflow, 0};
    };
    const auto invalid = [&](int row) {
        items.resize(startCount);
        return SaveResult{SaveOutcome::Invalid, row};
    };

    for (int row = 1; row <= kSearchRows; ++row) {
        const QString& cell = cells[size_t(row - 1)];
        const RowOperator op = operators[size_t(row - 1)];
        switch (searchRowKind(row)) {
        case RowKind::Text: {
            const QString text = cell.trimmed();
            if (text.isEmpty())
                break;
            SearchItem item;
            item.text = upperEachCharacter(text);
            item.field = row;
            item.kind = SearchKind::Contains;
            if (add(item) == Added::Overflow)
                return overflow();
            break;
        }
        case RowKind::Numeric: {
            const auto numberItem = [row](const QString& text, double value, SearchKind kind) {
                SearchItem item;
                item.text = text;
                item.number = value;
                item.field = row;
                item.kind = kind;
                return item;
            };
            if (op == RowOperator::Range) {
                const auto [low, high] = rangeSides(cell);
                if (low.isEmpty() && high.isEmpty())
                    break;
                const auto lowValue = readPlainDecimal(low);
                const auto highValue = readPlainDecimal(high);
                if (!lowValue || !highValue)
                    return invalid(row);
                if (add(numberItem(low, *lowValue, SearchKind::Greater)) == Added::Overflow ||
                    add(numberItem(high, *highValue, SearchKind::Less)) == Added::Overflow)
                    return overflow();
                break;
            }
            const QString text = removeFirst(cell, operatorChar(op)).trimmed();
            if (text.isEmpty())
                break;
            const auto value = readPlainDecimal(text);
            if (!value)
                return invalid(row);
            if (add(numberItem(text, *value, SearchKind(int(op)))) == Added::Overflow)
                return overflow();
            break;
        }
        case RowKind::Date: {
            const auto dateItem = [row](const QDate& date, SearchKind kind) {
                SearchItem item;
                item.text = dayNumberText(date);
                item.date = date;
                item.field = row;
                item.kind = kind;
                item.isDate = true;
                return item;
            };
            const auto slotEmpty = [](const QString& s) {
                return s.isEmpty() || isUntouchedDateSlot(s);
            };
            if (op == RowOperator::Range) {
                const auto [low, high] = rangeSides(cell);
                const bool lowEmpty = slotEmpty(low);
                const bool highEmpty = slotEmpty(high);
                if (lowEmpty && highEmpty)
                    break;
                if (lowEmpty || highEmpty)
                    return invalid(row);
                const auto lowDate = dates.parse(low);
                const auto highDate = dates.parse(high);
                if (!lowDate || !highDate)
                    return invalid(row);
                if (add(dateItem(*lowDate, SearchKind::Greater)) == Added::Overflow ||
                    add(dateItem(*highDate, SearchKind::Less)) == Added::Overflow)
                    return overflow();
                break;
            }
            const QString text = removeFirst(cell, operatorChar(op)).trimmed();
            if (slotEmpty(text))
                break;
            const auto date = dates.parse(text);
            if (!date)
                return invalid(row);
            if (add(dateItem(*date, SearchKind(int(op)))) == Added::Overflow)
                return overflow();
            break;
        }
        }
    }
    if (items.size() == startCount)
        return {SaveOutcome::NoCriteria, 0};
    items.back().endOfLevel = true;
    return {SaveOutcome::Saved, 0};
}

// ---------------------------------------------------------------------------------------------
// The predicate

namespace {

enum class TermType { Text, Number, Date, Never };

struct Term {
    TermType type = TermType::Never;
    SearchKind kind = SearchKind::Contains;
    size_t offset = 0;
    size_t length = 0;
    std::string needle; // upper-cased code page bytes
    double number = 0;
    std::int32_t ymd = 0; // YYYYMMDD as a number, which orders like the date
    bool endOfLevel = false;
    size_t levelEnd = 0; // index of the last term of this term's level
};

constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// A dBase numeric field: blanks, an optional sign, digits and an optional fraction. Up to 15
// digits the value is mantissa / 10^decimals, one correctly rounded division of two exact
// values, so it equals what from_chars reads from the same text; longer texts go to from_chars.
std::optional<double> readNumberField(const char* p, size_t n) {
    size_t b = 0;
    while (b < n && (p[b] == ' ' || p[b] == '\0'))
        ++b;
    while (n > b && (p[n - 1] == ' ' || p[n - 1] == '\0'))
        --n;
    if (b == n)
        return std::nullopt;
    size_t i = b;
    bool negative = false;
    if (p[i] == '-' || p[i] == '+')
        negative = p[i++] == '-';
    std::uint64_t mantissa = 0;
    int digits = 0;
    int decimals = 0;
    bool point = false;
    for (; i < n; ++i) {
        const char c = p[i];
        if (c >= '0' && c <= '9') {
            mantissa = mantissa * 10 + std::uint64_t(c - '0');
            ++digits;
            if (point)
                ++decimals;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (i == n && digits > 0 && digits <= 15) {
        const double v = double(mantissa) / kPowersOfTen[decimals];
        return negative ? -v : v;
    }
    double v = 0;
    const char* start = p + b + ((p[b] == '-' || p[b] == '+') ? 1 : 0);
    const auto [ptr, ec] = std::from_chars(start, p + n, v);
    if (ec != std::errc() || ptr != p + n || start == p + n)
        return std::nullopt;
    return negative ? -v : v;
}

// A dBase date field: eight digits YYYYMMDD; blank or anything else reads as no date.
std::optional<std::int32_t> readDateField(const char* p, size_t n) {
    if (n < 8)
        return std::nullopt;
    std::int32_t v = 0;
    for (size_t i = 0; i < 8; ++i) {
        if (p[i] < '0' || p[i] > '9')
            return std::nullopt;
        v = v * 10 + (p[i] - '0');
    }
    return v;
}

template <typename T> bool compare(SearchKind kind, T field, T wanted) {
    switch (kind) {
    case SearchKind::Equals:
        return field == wanted;
    case SearchKind::Greater:
        return field > wanted;
    case SearchKind::Less:
        return field < wanted;
    case SearchKind::Contains:
        break;
    }
    return false;
}

} // namespace

struct SearchPredicate::Compiled {
    std::vector<Term> terms;
    std::array<unsigned char, 256> upper{};
    size_t recordLength = 0;

    bool contains(const Term& t, const unsigned char* field) const {
        const size_t m = t.needle.size();
        if (m == 0 || m > t.length)
            return false;
        const auto* needle = reinterpret_cast<const unsigned char*>(t.needle.data());
        const unsigned char first = needle[0];
        for (size_t i = 0; i + m <= t.length; ++i) {
            if (upper[field[i]] != first)
                continue;
            size_t j = 1;
            while (j < m && upper[field[i + j]] == needle[j])
                ++j;
            if (j == m)
                return true;
        }
        return false;
    }

    bool evaluate(const Term& t, const char* record) const {
        const char* field = record + t.offset;
        switch (t.type) {
        case TermType::Text:
            return contains(t, reinterpret_cast<const unsigned char*>(field));
        case TermType::Number: {
            const auto v = readNumberField(field, t.length);
            return v && compare(t.kind, *v, t.number);
        }
        case TermType::Date: {
            const auto v = readDateField(field, t.length);
            return v && compare(t.kind, *v, t.ymd);
        }
        case TermType::Never:
            break;
        }
        return false;
    }
};

SearchPredicate::SearchPredicate(const SearchItems& items, const ItemTable& table)
    : m_compiled(std::make_unique<Compiled>()) {
    Compiled& c = *m_compiled;
    const dbase::Table& t = table.table();
    c.recordLength = size_t(t.recordLength());
    const dbase::CodePage page = t.codePage();

    // Capitals of the table's code page, byte for byte; a letter whose capital has no byte of
    // its own stays as it is.
    for (int b = 0; b < 256; ++b) {
        c.upper[size_t(b)] = static_cast<unsigned char>(b);
        const char byte = static_cast<char>(b);
        const QString s = QString::fromStdString(dbase::toUtf8(std::string_view(&byte, 1), page));
        if (s.size() != 1)
            continue;
        const QByteArray up = QString(s[0].toUpper()).toUtf8();
        const dbase::EncodeResult r =
            dbase::fromUtf8(std::string_view(up.constData(), size_t(up.size())), page);
        if (r.ok && r.bytes.size() == 1)
            c.upper[size_t(b)] = static_cast<unsigned char>(r.bytes[0]);
    }

    for (const SearchItem& item : items) {
        Term term;
        term.kind = item.kind;
        term.endOfLevel = item.endOfLevel;
        const ItemField* f = itemField(item.field);
        const int index = f ? t.fieldIndex(f->name) : -1;
        if (index >= 0) {
            const dbase::Field& field = t.field(index);
            term.offset = size_t(field.offset);
            term.length = size_t(field.length);
            if (item.kind == SearchKind::Contains) {
                const QByteArray utf8 = item.text.toUtf8();
                const dbase::EncodeResult r =
                    dbase::fromUtf8(std::string_view(utf8.constData(), size_t(utf8.size())), page);
                // A character the table cannot hold is in no record: the item never holds.
                if (r.ok && !r.bytes.empty()) {
                    term.type = TermType::Text;
                    term.needle = r.bytes;
                    for (char& ch : term.needle)
                        ch = static_cast<char>(c.upper[static_cast<unsigned char>(ch)]);
                }
            } else if (item.isDate) {
                if (item.date.isValid()) {
                    term.type = TermType::Date;
                    term.ymd = item.date.year() * 10000 + item.date.month() * 100 + item.date.day();
                }
            } else {
                term.type = TermType::Number;
                term.number = item.number;
            }
            if (term.offset + term.length > c.recordLength)
                term.type = TermType::Never;
        }
        c.terms.push_back(std::move(term));
    }
    // Where each level ends, so a failed item skips the rest of its level.
    size_t end = c.terms.size();
    for (size_t i = c.terms.size(); i-- > 0;) {
        if (c.terms[i].endOfLevel)
            end = i;
        c.terms[i].levelEnd = end;
    }
}

SearchPredicate::~SearchPredicate() = default;

SearchPredicate::SearchPredicate(const SearchPredicate& other)
    : m_compiled(std::make_unique<Compiled>(*other.m_compiled)) {}

SearchPredicate& SearchPredicate::operator=(const SearchPredicate& other) {
    if (this != &other)
        m_compiled = std::make_unique<Compiled>(*other.m_compiled);
    return *this;
}

bool SearchPredicate::matches(std::string_view record) const {
    const Compiled& c = *m_compiled;
    // A record of another layout (the table was swapped under the filter) matches nothing
    // rather than being read at the wrong places.
    if (record.size() != c.recordLength)
        return false;
    const std::vector<Term>& terms = c.terms;
    size_t i = 0;
    while (i < terms.size()) {
        const Term& t = terms[i];
        if (!c.evaluate(t, record.data())) {
            // The level fails; go on with the next one.
            i = t.levelEnd + 1;
            continue;
        }
        if (t.endOfLevel)
            return true;
        ++i;
    }
    return false;
}

dbase::Table::Filter BuildFilter(const SearchItems& items, const ItemTable& table) {
    auto predicate = std::make_shared<const SearchPredicate>(items, table);
    return [predicate](const dbase::Table& t) { return predicate->matches(t.recordBuffer()); };
}
