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
#include <exception>
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
    if (m_batch)
        fail("records cannot be changed while records are being appended in bulk");
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
    if (m_batch)
        fail("records cannot be changed while records are being appended in bulk");
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
    if (m_batch && recNo != 0)
        fail("records cannot be changed while records are being appended in bulk");
    if (!m_batch)
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
    if (m_batch) {
        // The lock is held and the count is ours; the keys follow at endBatch().
        if (m_recordCount == UINT32_MAX || m_recordCount + 1 == kMdxWholeIndex)
            fail("the table is full");
        const std::uint32_t recNo = m_recordCount + 1;
        std::string bytes = record;
        bytes += layout::kEndOfFile;
        const std::uint64_t offset =
            std::uint64_t{m_headerLength} + std::uint64_t{m_recordCount} * m_recordLength;
        if (!io::writeAt(m_fd, bytes.data(), bytes.size(), offset)) {
            const int err = errno;
            const char eof = layout::kEndOfFile;
            io::writeAt(m_fd, &eof, 1, offset);
            fail("the new record cannot be written (" + systemError(err) + ")");
        }
        m_recordCount = recNo;
        forgetCachedRecords();
        if (recNo - m_batchWritten >= kBatchCountEvery) {
            try {
                writeRecordCount(recNo);
            } catch (const DatabaseError&) {
                // The record was not posted: the next one takes its place.
                const char eof = layout::kEndOfFile;
                io::writeAt(m_fd, &eof, 1, offset);
                m_recordCount = recNo - 1;
                throw;
            }
        }
        return recNo;
    }
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

void Table::beginBatch() {
    requireWritable("append records");
    if (m_batch)
        fail("records are already being appended in bulk");
    checkBrowseMode();
    followIndexChanges();
    if (!locks::waitLock(m_fd, locks::kAppendByte, locks::Kind::Write))
        fail("the table cannot be locked for appending (" + systemError(errno) + ")");
    try {
        rereadRecordCount();
        if (m_index)
            m_index->beginBatch(*this);
    } catch (...) {
        locks::unlock(m_fd, locks::kAppendByte);
        throw;
    }
    m_batch = true;
    m_batchStart = m_batchWritten = m_recordCount;
}

// The count (and the date) after the records it names are in the file: invariant 1.
void Table::writeRecordCount(std::uint32_t count) {
    std::string fixed = m_headerBytes;
    const Date now = today();
    putUpdateDate(fixed, now);
    writeU32(fixed, layout::kRecordCount, count);
    if (!io::writeAt(m_fd, fixed.data() + layout::kUpdateYear,
                     layout::kHeaderLength - layout::kUpdateYear, layout::kUpdateYear))
        fail("the header cannot be written (" + systemError(errno) + ")");
    m_headerBytes = std::move(fixed);
    m_lastTouched = now;
    m_batchWritten = count;
}

void Table::endBatch() {
    if (!m_batch)
        return;
    // The record being appended goes in with the batch; one that cannot be posted is dropped
    // and its error reported once the batch is ended.
    std::exception_ptr failure;
    if (m_state == TableState::Insert) {
        try {
            post();
        } catch (const DatabaseError&) {
            failure = std::current_exception();
            cancel();
        }
    }
    m_batch = false;
    struct Unlock {
        int fd;
        ~Unlock() { locks::unlock(fd, locks::kAppendByte); }
    } unlockOnExit{m_fd};
    try {
        if (m_recordCount != m_batchWritten)
            writeRecordCount(m_recordCount);
    } catch (...) {
        // The records past the count written last stay hidden; the index is left marked, so
        // the next writer or opener rebuilds it from what the count shows.
        m_recordCount = m_batchWritten;
        forgetCachedRecords();
        if (m_index)
            m_index->endBatch(*this, m_batchStart + 1, false);
        throw;
    }
    if (m_index)
        m_index->endBatch(*this, m_batchStart + 1, true);
    if (failure)
        std::rethrow_exception(failure);
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

namespace {

// Number text made of '*' alone (perhaps with its point or sign): the value did not fit the
// field when another program wrote it. Other readers show it as blank, and so do we.
bool isOverflowMark(std::string_view t) {
    return t.find('*') != std::string_view::npos &&
           t.find_first_not_of("*.-") == std::string_view::npos;
}

std::int64_t readI64(std::string_view b, std::size_t offset) {
    const std::uint64_t low = readU32(b, offset);
    const std::uint64_t high = readU32(b, offset + 4);
    return static_cast<std::int64_t>(low | high << 32);
}

double readF64(std::string_view b) {
    return le::f64(reinterpret_cast<const std::uint8_t*>(b.data()));
}

constexpr std::int64_t kCurrencyScale = 10000;
constexpr std::uint32_t kMillisecondsPerDay = 86400000;

// The calendar date of a Julian day number (Fliegel and Van Flandern's conversion).
Date fromJulianDay(std::int64_t jdn) {
    const std::int64_t a = jdn + 32044;
    const std::int64_t b = (4 * a + 3) / 146097;
    const std::int64_t c = a - 146097 * b / 4;
    const std::int64_t d = (4 * c + 3) / 1461;
    const std::int64_t e = c - 1461 * d / 4;
    const std::int64_t m = (5 * e + 2) / 153;
    Date out;
    out.day = static_cast<int>(e - (153 * m + 2) / 5 + 1);
    out.month = static_cast<int>(m + 3 - 12 * (m / 10));
    out.year = static_cast<int>(100 * b + d - 4800 + m / 10);
    return out;
}

std::string currencyText(std::int64_t value) {
    const bool negative = value < 0;
    const std::uint64_t magnitude =
        negative ? ~static_cast<std::uint64_t>(value) + 1 : static_cast<std::uint64_t>(value);
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, "%04u",
                  static_cast<unsigned>(magnitude % kCurrencyScale));
    return (negative ? "-" : "") + std::to_string(magnitude / kCurrencyScale) + "." + fraction;
}

// The stored part of a V or Q field: all of it, or, with its length bit set, as many bytes as
// its last byte says.
std::string_view variableBytes(std::string_view bytes, const Field& f, std::string_view record,
                               int flagsOffset, int flagsLength) {
    if (f.lengthBit < 0 || f.lengthBit / 8 >= flagsLength)
        return bytes;
    const auto flags =
        static_cast<unsigned char>(record[static_cast<std::size_t>(flagsOffset + f.lengthBit / 8)]);
    if ((flags >> (f.lengthBit % 8) & 1) == 0)
        return bytes;
    const std::size_t length = static_cast<unsigned char>(bytes.back());
    return bytes.substr(0, std::min(length, bytes.size() - 1));
}

} // namespace

bool Table::isNull(int index) const {
    const Field& f = field(index);
    if (f.nullBit < 0 || f.nullBit / 8 >= m_nullFlagsLength)
        return false;
    const auto flags = static_cast<unsigned char>(
        m_buffer[static_cast<std::size_t>(m_nullFlagsOffset + f.nullBit / 8)]);
    return (flags >> (f.nullBit % 8) & 1) != 0;
}

std::string Table::memoBytes(int index) const {
    const Field& f = field(index);
    if (!isMemoType(f.type))
        fail("field " + f.name + " is not a memo field");
    std::uint32_t block = 0;
    if (!parseMemoBlock(fieldBytes(index), block))
        fail("field " + f.name + " of record " + std::to_string(m_recNo) +
             " holds no memo block number (\"" + std::string(trim(fieldBytes(index))) + "\")");
    if (block == 0 || !m_memo)
        return {};
    try {
        return m_memo->read(block);
    } catch (const DatabaseError& e) {
        std::string what = e.what();
        if (!what.empty() && what.back() == '.')
            what.pop_back();
        throw DatabaseError(what + " (field " + f.name + " of record " + std::to_string(m_recNo) +
                            ").");
    }
}

std::string Table::fieldText(int index) const {
    const Field& f = field(index);
    if (isNull(index) || isBinaryType(f.type))
        return {};
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
    case FieldType::Numeric:
    case FieldType::Float:
        return std::string(numberFieldText(index));
    case FieldType::Memo:
        return memoBytes(index);
    case FieldType::Integer:
        return std::to_string(static_cast<std::int32_t>(readU32(bytes, 0)));
    case FieldType::Double: {
        char buf[64];
        const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, readF64(bytes));
        return ec == std::errc() ? std::string(buf, end) : std::string();
    }
    case FieldType::Currency:
        return currencyText(readI64(bytes, 0));
    case FieldType::DateTime: {
        if (isBlank(index))
            return {};
        const std::uint32_t ms = readU32(bytes, 4);
        const std::optional<Date> d = fieldDate(index);
        const std::uint32_t seconds = (ms + 500) / 1000 % 86400;
        char buf[48];
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02u:%02u:%02u", d->year, d->month, d->day,
                      seconds / 3600, seconds / 60 % 60, seconds % 60);
        return buf;
    }
    case FieldType::Varchar:
        return std::string(variableBytes(bytes, f, m_buffer, m_nullFlagsOffset, m_nullFlagsLength));
    default:
        return {};
    }
}

bool Table::isBlank(int index) const {
    const Field& f = field(index);
    if (isNull(index))
        return true;
    const std::string_view bytes = fieldBytes(index);
    const std::string_view t = trim(bytes);
    switch (f.type) {
    case FieldType::Logical:
        return t.empty() || t == "?";
    case FieldType::Date:
        return t.empty() || t == "00000000";
    case FieldType::Numeric:
    case FieldType::Float:
        return t.empty() || isOverflowMark(t);
    case FieldType::Memo:
    case FieldType::General:
    case FieldType::Picture:
    case FieldType::Blob: {
        std::uint32_t block = 0;
        return parseMemoBlock(bytes, block) && block == 0;
    }
    case FieldType::Integer:
    case FieldType::Double:
    case FieldType::Currency:
        return false;
    case FieldType::DateTime:
        return t.empty() || readU32(bytes, 0) == 0;
    case FieldType::Varchar:
    case FieldType::Varbinary:
        return variableBytes(bytes, f, m_buffer, m_nullFlagsOffset, m_nullFlagsLength).empty();
    default:
        return t.empty();
    }
}

// The text of a number field without blanks and without a plus sign; empty when blank.
std::string_view Table::numberFieldText(int index) const {
    const Field& f = field(index);
    if (f.type != FieldType::Numeric && f.type != FieldType::Float)
        fail("field " + f.name + " is not a number field");
    std::string_view t = trim(fieldBytes(index));
    if (isOverflowMark(t) || isNull(index))
        return {};
    if (t.size() > 1 && t.front() == '+')
        t.remove_prefix(1);
    return t;
}

// Visual FoxPro's binary numbers; nullopt for the other types.
std::optional<double> Table::binaryNumber(int index) const {
    const std::string_view bytes = fieldBytes(index);
    switch (field(index).type) {
    case FieldType::Integer:
        return static_cast<std::int32_t>(readU32(bytes, 0));
    case FieldType::Double:
        return readF64(bytes);
    case FieldType::Currency:
        return static_cast<double>(readI64(bytes, 0)) / kCurrencyScale;
    default:
        return std::nullopt;
    }
}

std::optional<double> Table::fieldDouble(int index) const {
    const FieldType type = field(index).type;
    if (type == FieldType::Integer || type == FieldType::Double || type == FieldType::Currency) {
        if (isNull(index))
            return std::nullopt;
        const std::optional<double> v = binaryNumber(index);
        if (!std::isfinite(*v))
            fail("field " + field(index).name + " of record " + std::to_string(m_recNo) +
                 " holds no number");
        return v;
    }
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
    const FieldType type = field(index).type;
    if (type == FieldType::Integer || type == FieldType::Currency) {
        if (isNull(index))
            return std::nullopt;
        const std::string_view bytes = fieldBytes(index);
        if (type == FieldType::Integer)
            return static_cast<std::int32_t>(readU32(bytes, 0));
        // Rounded half away from zero, in whole units.
        const std::int64_t v = readI64(bytes, 0);
        const std::int64_t half = v < 0 ? -kCurrencyScale / 2 : kCurrencyScale / 2;
        return v / kCurrencyScale + (v % kCurrencyScale + half) / kCurrencyScale;
    }
    if (type == FieldType::Double) {
        const std::optional<double> d = fieldDouble(index);
        if (d && std::fabs(*d) >= 9.2e18)
            fail("field " + field(index).name + " of record " + std::to_string(m_recNo) +
                 " holds no whole number");
        return d ? std::optional<std::int64_t>(std::llround(*d)) : std::nullopt;
    }
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
    if (f.type != FieldType::Date && f.type != FieldType::DateTime)
        fail("field " + f.name + " is not a date field");
    if (isBlank(index))
        return std::nullopt;
    if (f.type == FieldType::DateTime) {
        const std::string_view bytes = fieldBytes(index);
        const std::uint32_t ms = readU32(bytes, 4);
        // The time is rounded to the second, which can carry into the next day.
        std::int64_t day = readU32(bytes, 0);
        if (ms >= kMillisecondsPerDay - 500 && ms < kMillisecondsPerDay)
            ++day;
        const Date d = fromJulianDay(day);
        if (!d.isValid() || ms >= kMillisecondsPerDay)
            fail("field " + f.name + " of record " + std::to_string(m_recNo) +
                 " holds no valid date and time");
        return d;
    }
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
    if (isNull(index))
        return std::nullopt;
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
    case FieldType::Character: {
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
    case FieldType::Memo:
        fail("field " + f.name + " is a memo field, whose text is not changed here");
    default:
        fail("field " + f.name + " cannot be changed here");
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
