#include "find/locate.h"

#include "find/search_criteria.h"
#include "formats/date_format.h"
#include "items/item_table.h"

#include <optional>

const QString kLocateNoMatchesMessage = QStringLiteral("No matches found");
const QString kLocateNoMoreMatchesMessage = QStringLiteral("No more matches found");
const QString kLocateNoTableMessage =
    QStringLiteral("DataSource does not reference an active DataSet");
const QString kLocateNoActiveTableMessage =
    QStringLiteral("DataSource does not refer to an active table!");

QString locateNoFieldMessage(const QString& fieldName) {
    return QStringLiteral("Field ") + fieldName + QStringLiteral(" not found.");
}

namespace {

// One record's test, set up once per search.
class Matcher {
public:
    Matcher(const ItemTable& items, int fieldIndex, const LocateRequest& request,
            const DateFormat& dates)
        : m_items(items), m_table(items.table()), m_index(fieldIndex),
          m_type(m_table.field(fieldIndex).type), m_match(request.matchType),
          m_caseSensitive(request.caseSensitive), m_dates(dates),
          m_value(request.caseSensitive ? request.value : request.value.toUpper()) {
        // Exact matches on floating-point fields compare numbers: 12.5 finds 12.50.
        m_numeric = m_match == mtExactMatch && m_type == dbase::FieldType::Numeric &&
                    m_table.field(fieldIndex).decimals > 0;
        if (m_numeric)
            m_number = readPlainDecimal(request.value);
    }

    bool operator()() const {
        if (m_numeric) {
            if (!m_number)
                return false;
            const auto stored = m_table.fieldDouble(m_index);
            return stored && *stored == *m_number;
        }
        if (m_value.isEmpty() && m_match != mtExactMatch)
            return false;
        QString text = fieldText();
        if (!m_caseSensitive)
            text = text.toUpper();
        switch (m_match) {
        case mtExactMatch:
            return text == m_value;
        case mtPartialMatchStart:
            return text.startsWith(m_value);
        case mtPartialMatchAny:
            return text.contains(m_value);
        }
        return false;
    }

private:
    QString fieldText() const {
        switch (m_type) {
        case dbase::FieldType::Date: {
            const auto d = m_table.fieldDate(m_index);
            return d ? m_dates.format(toQDate(*d)) : QString();
        }
        case dbase::FieldType::Numeric:
        case dbase::FieldType::Float: {
            if (m_table.field(m_index).decimals == 0)
                return QString::fromStdString(m_table.fieldText(m_index));
            const auto v = m_table.fieldDouble(m_index);
            return v ? QString::number(*v, 'g', 15) : QString();
        }
        case dbase::FieldType::Logical: {
            const auto b = m_table.fieldLogical(m_index);
            return b ? (*b ? QStringLiteral("True") : QStringLiteral("False")) : QString();
        }
        default:
            return m_items.decode(m_table.fieldText(m_index));
        }
    }

    const ItemTable& m_items;
    const dbase::Table& m_table;
    int m_index;
    dbase::FieldType m_type;
    TMyLocateMatchType m_match;
    bool m_caseSensitive;
    const DateFormat& m_dates;
    QString m_value;
    bool m_numeric = false;
    std::optional<double> m_number;
};

} // namespace

LocateOutcome locateValue(ItemTable& items, const LocateRequest& request, const DateFormat& dates) {
    dbase::Table& table = items.table();
    if (table.state() == dbase::TableState::Edit || table.state() == dbase::TableState::Insert)
        table.post();
    const int fieldIndex = table.fieldIndex(request.fieldName.toStdString());
    if (fieldIndex < 0)
        return LocateOutcome::NoField;

    const Matcher matches(items, fieldIndex, request, dates);
    const dbase::Bookmark start = table.bookmark();
    if (request.fromBeginning) {
        table.first();
        if (table.isEmpty())
            return LocateOutcome::NotFound;
        if (matches())
            return LocateOutcome::Found;
    } else if (table.isEmpty()) {
        return LocateOutcome::NotFound;
    }
    for (;;) {
        table.next();
        if (table.eof())
            break;
        if (matches())
            return LocateOutcome::Found;
    }
    table.gotoBookmark(start);
    return LocateOutcome::NotFound;
}
