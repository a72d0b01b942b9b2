#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace dbase {

class Table;

// The order in which the cursor walks the table. Natural record order is the default; an index
// tag can replace it. Record numbers are 1-based, 0 means "no such record". The order only
// proposes record numbers: the table itself skips deleted records and applies the filter.
class RecordOrder {
public:
    virtual ~RecordOrder() = default;
    virtual std::uint32_t first() = 0;
    virtual std::uint32_t last() = 0;
    // Relative to the order's current position, which moves with the answer.
    virtual std::uint32_t next() = 0;
    virtual std::uint32_t prior() = 0;
    // Puts the position on recNo, whose raw bytes (deletion flag first) are record. Used for
    // bookmarks, after a post and after a failed walk returns to where it was.
    virtual void setPosition(std::uint32_t recNo, std::string_view record) = 0;
    // The record numbers the order already knows come next, in order (none by default), and
    // a number that changes whenever that list is replaced.
    virtual void upcoming(std::vector<std::uint32_t>& /*recNos*/) const {}
    virtual std::uint64_t upcomingBatch() const { return 0; }
};

// Wraps every record write, so an index can follow the table. before is empty for a new
// record. store() puts after into the table file; the hook calls it exactly once, or throws
// before calling it to refuse the write (nothing reaches the file then).
class RecordWriteHook {
public:
    virtual ~RecordWriteHook() = default;
    virtual void write(Table& /*table*/, std::uint32_t /*recNo*/, std::string_view /*before*/,
                       std::string_view /*after*/, const std::function<void()>& store) {
        store();
    }
    // Before pack puts the packed file in place: from here until packed() the record numbers
    // the hook knows may name other records or none.
    virtual void aboutToPack(Table& /*table*/) {}
    // After pack renumbered the records.
    virtual void packed(Table& /*table*/) {}
};

// Display observers (a grid, a record count label).
class TableObserver {
public:
    enum class Change {
        Moved,         // the cursor is on another record
        RecordChanged, // the current record's values changed (edit, post, cancel)
        DataChanged,   // anything may have changed: append, delete, refresh, pack, open, close
    };
    virtual ~TableObserver() = default;
    virtual void tableChanged(const Table& table, Change change) = 0;
};

} // namespace dbase
