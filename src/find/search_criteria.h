#pragma once

#include "dbase/table.h"

#include <QDate>
#include <QString>

#include <array>
#include <memory>
#include <optional>
#include <vector>

class ItemTable;
struct DateFormat;

// The query-by-form search: one criterion per item field, typed in a grid row, and up to ten
// levels of criteria. Items within a level must all hold; a record passes when any level does.

constexpr int kSearchRows = 22;      // one per item field, in field order
constexpr int kMaxSearchItems = 75;  // items over all levels
constexpr int kMaxSearchLevels = 10; // Find More stops at the tenth

enum class RowKind { Text, Numeric, Date };

// What the user may type in a numeric or date row.
enum class RowOperator { Equals = 1, Greater = 2, Less = 3, Range = 4 };
// The character a criterion of this operator starts with ("=" also for a range).
QChar operatorChar(RowOperator op);

// How a stored item compares. A range is stored as a Greater and a Less item.
enum class SearchKind { Equals = 1, Greater = 2, Less = 3, Contains = 5 };

// Row kind of search row 1-22: text for character fields, numeric for integer and floating
// point fields, date for date fields.
RowKind searchRowKind(int row);
// The lookup list (1-5) offered behind a text row's option cell; 0 for none. The Warranty row
// offers "YES" and "NO" instead (see hasYesNoChoices).
int searchRowLookupList(int row);
bool hasYesNoChoices(int row);
// Rows whose option cell opens the Search Options dialog: operator rows and pick-list rows.
bool hasOptionCell(int row);

// The input mask of a row's criterion cell for its kind and operator, with the date
// separator put in. Text rows take no mask: they are limited to the field's width instead.
QString criterionMask(int row, RowOperator op, QChar dateSeparator);
// Longest criterion a text row takes (the field's width).
int criterionMaxLength(int row);

struct SearchItem {
    QString text;      // text rows: trimmed and upper-cased; numbers: the typed number
    double number = 0; // numeric rows
    QDate date;        // date rows
    int field = 0;     // search row 1-22, which names the item field
    SearchKind kind = SearchKind::Contains;
    bool endOfLevel = false;
    bool isDate = false;
};

using SearchItems = std::vector<SearchItem>;

// The criteria being typed: the items saved so far and the level being typed.
struct SearchCriteria {
    SearchItems items;
    int level = 1;
    void clear() {
        items.clear();
        level = 1;
    }
};

enum class SaveOutcome {
    Saved,      // the level's items were added and its last item marks the level's end
    Invalid,    // a number or date did not read, or a range had one side: level discarded
    NoCriteria, // nothing typed in the level; earlier levels stay
    Overflow,   // more than 75 items: everything cleared, back to level 1
};

struct SaveResult {
    SaveOutcome outcome = SaveOutcome::Saved;
    int row = 0; // the offending row for Invalid
};

// Saves one level from the 22 criterion cells (index 0 = row 1) and the row operators.
// Dates are read in the given format. Does not change the level number.
SaveResult SaveFields(SearchCriteria& criteria, const std::array<QString, kSearchRows>& cells,
                      const std::array<RowOperator, kSearchRows>& operators,
                      const DateFormat& dates);

// Optional blanks, optional sign, digits, optional "." fraction, optional exponent, and
// nothing after. No thousands separators or currency signs.
std::optional<double> readPlainDecimal(QStringView text);

// A date slot nobody typed in: empty, or nothing but separators and blanks.
bool isUntouchedDateSlot(QStringView text);

// The record predicate, compiled against the open item table's layout so that it reads the
// raw record bytes: text matching upper-cases through a table of the table's code page,
// numbers and dates are read straight from their digits. Blank number and date fields match
// no criterion, as an empty text field matches no text.
class SearchPredicate {
public:
    SearchPredicate(const SearchItems& items, const ItemTable& table);
    ~SearchPredicate();
    SearchPredicate(const SearchPredicate&);
    SearchPredicate& operator=(const SearchPredicate&);

    // record: deletion flag, then the fields at their offsets.
    bool matches(std::string_view record) const;
    bool operator()(const dbase::Table& table) const { return matches(table.recordBuffer()); }

private:
    struct Compiled;
    std::unique_ptr<Compiled> m_compiled;
};

// The item table's filter for a saved search. No items: nothing passes.
dbase::Table::Filter BuildFilter(const SearchItems& items, const ItemTable& table);

// Messages of the search window.
extern const QString kInvalidCriteriaMessage;
extern const QString kNoCriteriaMessage;
extern const QString kNoMatchesMessage;
QString tooManyItemsMessage();
