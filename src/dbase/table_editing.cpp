// Appending, editing, deleting and the field values of the record being edited.

#include "table.h"

#include "dbf_layout.h"
#include "decimal.h"
#include "file_io.h"
#include "file_lock.h"
#include "little_endian.h"
#include "natural_order.h"
#include "table_internal.h"
#include "temporary_file.h"
#include "text.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace dbase {

using namespace table_detail;

// ---------------------------------------------------------------------------------------------
// Editing

void Table::checkBrowseMode() {
    if (m_state == TableState::Edit || m_state == TableState::Insert)
        post();
}

void Table::append() {
    requireWritable("append a record");
    checkBrowseMode();
    m_saved = m_buffer;
    m_buffer.assign(m_recordLength, ' ');
    m_state = TableState::Insert;
    notify(TableObserver::Change::RecordChanged);
}

void Table::edit() {
    requireWritable("edit");
    if (m_state != TableState::Browse)
        return;
    if (m_recNo == 0)
        fail("there is no record to edit");
    if (!locks::tryLock(m_fd, locks::kRecordBase - m_recNo, locks::Kind::Write))
        fail("record " + std::to_string(m_recNo) + " is being edited by another user");
    m_lockedRecNo = m_recNo;
    // Another program may have changed the record since we read it.
    std::string fresh;
    try {
        fresh = readRecordFromDisk(m_recNo);
    } catch (...) {
        releaseRecordLock();
        throw;
    }
    if (fresh[0] == layout::kDeletedFlag) {
        releaseRecordLock();
        fail("record " + std::to_string(m_recNo) + " was deleted by another user");
    }
    m_buffer = fresh;
    m_saved = std::move(fresh);
    m_state = TableState::Edit;
    notify(TableObserver::Change::RecordChanged);
}

void Table::post() {
    requireOpen("post");
    if (m_state == TableState::Insert) {
        const std::uint32_t recNo = storeRecord(0, {}, m_buffer);
        m_state = TableState::Browse;
        m_recNo = recNo;
        m_bof = m_eof = false;
        m_order->setPosition(recNo, m_buffer);
        notify(TableObserver::Change::DataChanged);
    } else if (m_state == TableState::Edit) {
        if (m_buffer != m_saved) {
            storeRecord(m_recNo, m_saved, m_buffer);
            m_order->setPosition(m_recNo, m_buffer); // its key may have moved it
        }
        releaseRecordLock();
        m_state = TableState::Browse;
        notify(TableObserver::Change::RecordChanged);
    }
}

void Table::cancel() {
    if (m_state == TableState::Insert || m_state == TableState::Edit) {
        m_buffer = m_saved;
        releaseRecordLock();
        m_state = TableState::Browse;
        notify(TableObserver::Change::RecordChanged);
    }
}

void Table::releaseRecordLock() {
    if (m_lockedRecNo != 0 && m_fd >= 0)
        locks::unlock(m_fd, locks::kRecordBase - m_lockedRecNo);
    m_lockedRecNo = 0;
}

void Table::deleteRecord() {
    requireWritable("delete a record");
    if (m_state == TableState::Insert) {
        cancel();
        return;
    }
    if (m_state == TableState::Edit)
        cancel();
    if (m_recNo == 0)
        fail("there is no record to delete");
    const std::uint32_t recNo = m_recNo;
    if (!locks::tryLock(m_fd, locks::kRecordBase - recNo, locks::Kind::Write))
        fail("record " + std::to_string(recNo) + " is being edited by another user");
    try {
        const std::string before = readRecordFromDisk(recNo);
        if (before[0] != layout::kDeletedFlag) {
            std::string after = before;
            after[0] = layout::kDeletedFlag;
            storeRecord(recNo, before, after);
        }
    } catch (...) {
        locks::unlock(m_fd, locks::kRecordBase - recNo);
        throw;
    }
    locks::unlock(m_fd, locks::kRecordBase - recNo);
    positionAt(recNo); // the deleted record is invisible, so this finds its neighbour
    notify(TableObserver::Change::DataChanged);
}

// Every record write goes through here: posts of edited and new records, and delete marks.
// The hook (the production index) wraps the write so that it can keep its tags in step.
std::uint32_t Table::storeRecord(std::uint32_t recNo, const std::string& before,
                                 const std::string& after) {
    followIndexChanges();
    if (recNo == 0)
        return appendLocked(after);
    auto store = [&] {
        const std::uint64_t offset =
            std::uint64_t{m_headerLength} + std::uint64_t{recNo - 1} * m_recordLength;
        if (!io::writeAt(m_fd, after.data(), after.size(), offset))
            fail("record " + std::to_string(recNo) + " cannot be written (" + systemError(errno) +
                 ")");
        forgetCachedRecords();
        touchHeaderDate();
    };
    if (m_hook)
        m_hook->write(*this, recNo, before, after, store);
    else
        store();
    return recNo;
}

// Appends under the append lock: the record and the end marker reach the file before the
// header count that makes them visible, so a crash never leaves a count past the data, and two
// appenders never pick the same slot.
std::uint32_t Table::appendLocked(const std::string& record) {
    if (!locks::waitLock(m_fd, locks::kAppendByte, locks::Kind::Write))
        fail("the table cannot be locked for appending (" + systemError(errno) + ")");
    struct Unlock {
        int fd;
        ~Unlock() { locks::unlock(fd, locks::kAppendByte); }
    } unlockOnExit{m_fd};

    char countBytes[4];
    if (!io::readAt(m_fd, countBytes, 4, layout::kRecordCount))
        fail("the header cannot be read");
    const std::uint32_t count = readU32(std::string_view(countBytes, 4), 0);
    if (count == UINT32_MAX || count + 1 == kMdxWholeIndex)
        fail("the table is full");
    const std::uint32_t recNo = count + 1;
    auto store = [&] {
        std::string bytes = record;
        bytes += layout::kEndOfFile;
        const std::uint64_t offset =
            std::uint64_t{m_headerLength} + std::uint64_t{count} * m_recordLength;
        if (!io::writeAt(m_fd, bytes.data(), bytes.size(), offset)) {
            const int err = errno;
            // Put the end marker back where it was; the count still hides the partial record.
            const char eof = layout::kEndOfFile;
            io::writeAt(m_fd, &eof, 1, offset);
            fail("the new record cannot be written (" + systemError(err) + ")");
        }
        // Invariant 1: the record is in the file; only now may the count name it.
        std::string fixed = m_headerBytes;
        const Date now = today();
        putUpdateDate(fixed, now);
        writeU32(fixed, layout::kRecordCount, recNo);
        if (!io::writeAt(m_fd, fixed.data() + layout::kUpdateYear,
                         layout::kHeaderLength - layout::kUpdateYear, layout::kUpdateYear))
            fail("the header cannot be written (" + systemError(errno) + ")");
        m_headerBytes = std::move(fixed);
        m_lastTouched = now;
        m_recordCount = recNo;
        forgetCachedRecords();
    };
    if (m_hook)
        m_hook->write(*this, recNo, {}, record, store);
    else
        store();
    return recNo;
}

void Table::touchHeaderDate() {
    const Date now = today();
    if (now == m_lastTouched)
        return;
    putUpdateDate(m_headerBytes, now);
    if (!io::writeAt(m_fd, m_headerBytes.data() + layout::kUpdateYear, 3, layout::kUpdateYear))
        fail("the header cannot be written (" + systemError(errno) + ")");
    m_lastTouched = now;
}

// ---------------------------------------------------------------------------------------------
// Field values

std::string Table::describe(int index) const {
    const Field& f = field(index);
    std::string d = f.name + " (" + static_cast<char>(f.type) + " " + std::to_string(f.length);
    if (f.type == FieldType::Numeric || f.type == FieldType::Float)
        d += "." + std::to_string(f.decimals);
    return d + ")";
}

std::string_view Table::fieldBytes(int index) const {
    const Field& f = field(index);
    return std::string_view(m_buffer).substr(static_cast<std::size_t>(f.offset),
                                             static_cast<std::size_t>(f.length));
}

std::string Table::fieldText(int index) const {
    const Field& f = field(index);
    const std::string_view bytes = fieldBytes(index);
    switch (f.type) {
    case FieldType::Character:
        return std::string(trimRight(bytes));
    case FieldType::Logical: {
        const char c = bytes[0];
        return (c == ' ' || c == '?' || c == '\0') ? std::string() : std::string(1, c);
    }
    case FieldType::Date:
        return isBlank(index) ? std::string() : std::string(trim(bytes));
    default:
        return std::string(trim(bytes));
    }
}

bool Table::isBlank(int index) const {
    const Field& f = field(index);
    const std::string_view t = trim(fieldBytes(index));
    if (f.type == FieldType::Logical)
        return t.empty() || t == "?";
    if (f.type == FieldType::Date)
        return t.empty() || t == "00000000";
    return t.empty();
}

// The text of a number field without blanks and without a plus sign; empty when blank.
std::string_view Table::numberFieldText(int index) const {
    const Field& f = field(index);
    if (f.type != FieldType::Numeric && f.type != FieldType::Float)
        fail("field " + f.name + " is not a number field");
    std::string_view t = trim(fieldBytes(index));
    if (t.size() > 1 && t.front() == '+')
        t.remove_prefix(1);
    return t;
}

std::optional<double> Table::fieldDouble(int index) const {
    const std::string_view t = numberFieldText(index);
    if (t.empty())
        return std::nullopt;
    double value = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    if (ec != std::errc() || end != t.data() + t.size() || !std::isfinite(value))
        fail("field " + field(index).name + " of record " + std::to_string(m_recNo) +
             " holds no number (\"" + std::string(t) + "\")");
    return value;
}

std::optional<std::int64_t> Table::fieldInteger(int index) const {
    const std::string_view t = numberFieldText(index);
    if (t.empty())
        return std::nullopt;
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    if (ec == std::errc() && end == t.data() + t.size())
        return value;
    const std::optional<double> d = fieldDouble(index);
    if (!d || std::fabs(*d) >= 9.2e18)
        fail("field " + field(index).name + " of record " + std::to_string(m_recNo) +
             " holds no whole number (\"" + std::string(t) + "\")");
    return static_cast<std::int64_t>(std::llround(*d));
}

std::optional<Date> Table::fieldDate(int index) const {
    const Field& f = field(index);
    if (f.type != FieldType::Date)
        fail("field " + f.name + " is not a date field");
    if (isBlank(index))
        return std::nullopt;
    const std::optional<Date> d = parseDateDigits(fieldBytes(index));
    if (!d)
        fail("field " + f.name + " of record " + std::to_string(m_recNo) +
             " holds no valid date (\"" + std::string(trim(fieldBytes(index))) + "\")");
    return d;
}

std::optional<bool> Table::fieldLogical(int index) const {
    const Field& f = field(index);
    if (f.type != FieldType::Logical)
        fail("field " + f.name + " is not a logical field");
    switch (fieldBytes(index)[0]) {
    case 'T':
    case 't':
    case 'Y':
    case 'y':
        return true;
    case 'F':
    case 'f':
    case 'N':
    case 'n':
        return false;
    case ' ':
    case '?':
    case '\0':
        return std::nullopt;
    default:
        fail("field " + f.name + " of record " + std::to_string(m_recNo) +
             " holds no logical value");
    }
}

void Table::setBytes(int index, const std::string& bytes) {
    const Field& f = field(index);
    m_buffer.replace(static_cast<std::size_t>(f.offset), static_cast<std::size_t>(f.length), bytes);
    notify(TableObserver::Change::RecordChanged);
}

void Table::setNumberText(int index, std::string_view text) {
    const Field& f = field(index);
    const std::optional<Decimal> d = parseDecimal(text);
    if (!d)
        fail("\"" + std::string(text) + "\" is not a number for field " + f.name);
    const std::string formatted = formatDecimal(*d, f.decimals);
    if (formatted.size() > static_cast<std::size_t>(f.length))
        fail("the value " + std::string(text) + " does not fit field " + describe(index));
    std::string bytes(static_cast<std::size_t>(f.length) - formatted.size(), ' ');
    setBytes(index, bytes + formatted);
}

void Table::setFieldText(int index, std::string_view text) {
    requireEditing("change a field");
    const Field& f = field(index);
    switch (f.type) {
    case FieldType::Character:
    case FieldType::Memo: {
        const std::string_view value = trimRight(text);
        if (value.size() > static_cast<std::size_t>(f.length))
            fail("the value \"" + std::string(value) + "\" does not fit field " + describe(index) +
                 "; it holds " + std::to_string(f.length) + " characters");
        std::string bytes(value);
        bytes.resize(static_cast<std::size_t>(f.length), ' ');
        setBytes(index, bytes);
        return;
    }
    case FieldType::Numeric:
    case FieldType::Float: {
        const std::string_view t = trim(text);
        if (t.empty())
            clearField(index);
        else
            setNumberText(index, t);
        return;
    }
    case FieldType::Date: {
        const std::string_view t = trim(text);
        if (t.empty()) {
            clearField(index);
            return;
        }
        const std::optional<Date> d = parseDateDigits(t);
        if (!d)
            fail("\"" + std::string(t) + "\" is not a date (YYYYMMDD) for field " + f.name);
        setBytes(index, dateDigits(*d));
        return;
    }
    case FieldType::Logical: {
        const std::string_view t = trim(text);
        if (t.empty()) {
            clearField(index);
            return;
        }
        if (t.size() == 1 && std::string_view("TtYyFfNn").find(t[0]) != std::string_view::npos) {
            setFieldLogical(index, std::string_view("TtYy").find(t[0]) != std::string_view::npos);
            return;
        }
        fail("\"" + std::string(t) + "\" is not a logical value for field " + f.name);
    }
    }
}

void Table::setFieldInteger(int index, std::int64_t value) {
    requireEditing("change a field");
    const Field& f = field(index);
    if (f.type != FieldType::Numeric && f.type != FieldType::Float)
        fail("field " + f.name + " is not a number field");
    setNumberText(index, std::to_string(value));
}

void Table::setFieldDouble(int index, double value) {
    requireEditing("change a field");
    const Field& f = field(index);
    if (f.type != FieldType::Numeric && f.type != FieldType::Float)
        fail("field " + f.name + " is not a number field");
    if (!std::isfinite(value))
        fail("the value does not fit field " + describe(index));
    // Shortest text that reads back as the same double, then decimal rounding to the field.
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    if (ec != std::errc())
        fail("the value does not fit field " + describe(index));
    setNumberText(index, std::string_view(buf, static_cast<std::size_t>(end - buf)));
}

void Table::setFieldDate(int index, const Date& value) {
    requireEditing("change a field");
    const Field& f = field(index);
    if (f.type != FieldType::Date)
        fail("field " + f.name + " is not a date field");
    if (!value.isValid())
        fail(std::to_string(value.year) + "-" + std::to_string(value.month) + "-" +
             std::to_string(value.day) + " is not a valid date for field " + f.name);
    setBytes(index, dateDigits(value));
}

void Table::setFieldLogical(int index, bool value) {
    requireEditing("change a field");
    const Field& f = field(index);
    if (f.type != FieldType::Logical)
        fail("field " + f.name + " is not a logical field");
    setBytes(index, value ? "T" : "F");
}

void Table::clearField(int index) {
    requireEditing("change a field");
    const Field& f = field(index);
    setBytes(index, std::string(static_cast<std::size_t>(f.length), ' '));
}

} // namespace dbase
