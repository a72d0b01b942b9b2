#include "find/locate.h"

#include "find/search_criteria.h"
#include "formats/date_format.h"
#include "items/item_table.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <vector>

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
        : m_items(items), m_index(fieldIndex), m_field(items.table().field(fieldIndex)),
          m_type(m_field.type), m_match(request.matchType), m_caseSensitive(request.caseSensitive),
          m_dates(dates), m_value(request.caseSensitive ? request.value : request.value.toUpper()) {
        // Exact matches on floating-point fields compare numbers: 12.5 finds 12.50.
        m_numeric =
            m_match == mtExactMatch && m_type == dbase::FieldType::Numeric && m_field.decimals > 0;
        if (m_numeric)
            m_number = readPlainDecimal(request.value);
    }

    // The current record of table, which has the item table's layout.
    bool operator()(const dbase::Table& table) const {
        if (m_numeric) {
            if (!m_number)
                return false;
            const auto stored = table.fieldDouble(m_index);
            return stored && *stored == *m_number;
        }
        if (m_value.isEmpty() && m_match != mtExactMatch)
            return false;
        QString text = fieldText(table);
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
    QString fieldText(const dbase::Table& table) const {
        switch (m_type) {
        case dbase::FieldType::Date: {
            const auto d = table.fieldDate(m_index);
            return d ? m_dates.format(toQDate(*d)) : QString();
        }
        case dbase::FieldType::Numeric:
        case dbase::FieldType::Float: {
            if (m_field.decimals == 0)
                return QString::fromStdString(table.fieldText(m_index));
            const auto v = table.fieldDouble(m_index);
            return v ? QString::number(*v, 'g', 15) : QString();
        }
        case dbase::FieldType::Logical: {
            const auto b = table.fieldLogical(m_index);
            return b ? (*b ? QStringLiteral("True") : QStringLiteral("False")) : QString();
        }
        default:
            return m_items.decode(table.fieldText(m_index));
        }
    }

    const ItemTable& m_items;
    int m_index;
    dbase::Field m_field;
    dbase::FieldType m_type;
    TMyLocateMatchType m_match;
    bool m_caseSensitive;
    const DateFormat& m_dates;
    QString m_value;
    bool m_numeric = false;
    std::optional<double> m_number;
};

// The records that match, found by reading the file front to back through a second, read-only
// opener: far quicker than walking a large table in its index order, which touches the records
// out of place. Only records the item table would show (not deleted, passing its filter)
// count. Empty when the file could not be read this way; the walk then tests every record.
std::optional<std::vector<bool>> matchingRecords(const dbase::Table& table,
                                                 const Matcher& matches) {
    std::vector<bool> hits;
    try {
        dbase::Table reader;
        reader.openFile(table.path(), dbase::OpenMode::ReadOnly, false);
        if (table.hasFilter())
            reader.setFilter(table.filter());
        hits.assign(size_t(reader.recordCount()) + 1, false);
        for (reader.first(); !reader.isEmpty() && !reader.eof(); reader.next())
            if (reader.recordNumber() < hits.size() && matches(reader))
                hits[reader.recordNumber()] = true;
    } catch (const dbase::DatabaseError&) {
        return std::nullopt;
    }
    return hits;
}

} // namespace

LocateOutcome locateValue(ItemTable& items, const LocateRequest& request, const DateFormat& dates) {
    dbase::Table& table = items.table();
    if (table.state() == dbase::TableState::Edit || table.state() == dbase::TableState::Insert)
        table.post();
    const int fieldIndex = table.fieldIndex(request.fieldName.toStdString());
    if (fieldIndex < 0)
        return LocateOutcome::NoField;

    const Matcher matcher(items, fieldIndex, request, dates);
    std::function<bool()> matches = [&] { return matcher(table); };
    // In index order, find the matching records first, so a search that finds nothing never
    // walks the index, and one that does stops at the first record known to match.
    std::optional<std::vector<bool>> hits;
    if (!table.indexName().empty()) {
        hits = matchingRecords(table, matcher);
        if (hits) {
            if (std::find(hits->begin(), hits->end(), true) == hits->end())
                return LocateOutcome::NotFound;
            matches = [&] {
                const std::uint32_t n = table.recordNumber();
                return n < hits->size() ? bool((*hits)[n]) : matcher(table);
            };
        }
    }

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
