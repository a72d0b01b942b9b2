#pragma once

#include <QString>

class ItemTable;
struct DateFormat;

// Locate: moves the item table's cursor to a record whose field holds a value, without
// filtering the table. The walk goes through the table's current order and filter, so with a
// search in force only records of the search can be found.

enum TMyLocateMatchType { mtExactMatch, mtPartialMatchStart, mtPartialMatchAny };
enum TMyFieldSortType { fsSortByFieldNo, fsSortByFieldName };
enum TMyDefaultButtonType { dbFindFirst, dbFindNext };
enum TMyFieldSelection { fsAllFields, fsVisibleFields };

struct LocateRequest {
    QString fieldName; // the table's field name, any letter case
    QString value;     // as the user typed it
    bool fromBeginning = false;
    bool caseSensitive = false;
    TMyLocateMatchType matchType = mtPartialMatchStart;
};

enum class LocateOutcome {
    Found,    // the cursor is on the matching record
    NotFound, // the cursor is back on the record it started from
    NoField,  // the table has no such field; nothing moved
};

// The value search. A record being edited is posted first. Dates are compared as the given
// format writes them; numbers of floating-point fields as numbers for an exact match (a value
// that is no number matches nothing), as their shortest text otherwise.
LocateOutcome locateValue(ItemTable& items, const LocateRequest& request, const DateFormat& dates);

// Messages of the locate component.
QString locateNoFieldMessage(const QString& fieldName);
extern const QString kLocateNoMatchesMessage;     // "Fi&rst" found nothing
extern const QString kLocateNoMoreMatchesMessage; // "&Next" or a repeat found nothing
extern const QString kLocateNoTableMessage;       // opening the dialog without a table
extern const QString kLocateNoActiveTableMessage; // repeating without a table
