// Reading records and walking them.

#include "table.h"

#include "dbf_layout.h"
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
// Reading records

std::uint32_t Table::rereadRecordCount() {
    // Nobody else can append to a table we hold exclusively.
    // Nor to one whose append lock we hold for a bulk append, whose count runs ahead.
    if (m_mode == OpenMode::Exclusive || m_fd < 0 || m_batch)
        return m_recordCount;
    char bytes[4];
    if (!io::readAt(m_fd, bytes, 4, layout::kRecordCount))
        fail("the header cannot be read");
    const std::uint32_t count = readU32(std::string_view(bytes, 4), 0);
    if (count != m_recordCount) {
        struct stat st {};
        if (::fstat(m_fd, &st) != 0 ||
            static_cast<std::uint64_t>(st.st_size) <
                std::uint64_t{m_headerLength} + std::uint64_t{count} * m_recordLength)
            fail("the header counts " + std::to_string(count) + " records but the file is shorter");
        m_recordCount = count;
    }
    return m_recordCount;
}

const char* Table::cachedRecord(std::uint32_t recNo) const {
    // How many reads in a row asked for a neighbour of the record before: a scan builds a
    // long run, a key-order walk jumping about hardly any.
    const std::uint32_t step = recNo > m_lastRead ? recNo - m_lastRead : m_lastRead - recNo;
    m_neighbourRun = step <= 2 ? m_neighbourRun + 1 : 0;
    m_lastRead = recNo;
    // A walk that reads ahead has the record copied already. Asked first, and for every
    // record of the walk, even one that happens to lie in the window: the copies are served
    // in the walk's order, and one read elsewhere would put the walk out of step with them.
    if (const char* record = prefetched(recNo))
        return record;
    const std::uint64_t offset =
        std::uint64_t{m_headerLength} + std::uint64_t{recNo - 1} * m_recordLength;
    if (offset >= m_cacheStart && offset + m_recordLength <= m_cacheStart + m_cache.size())
        return m_cache.data() + (offset - m_cacheStart);

    // A scan reads a window, centred a little behind the record so that walking backwards also
    // hits it. Any other read (a key-order walk, where even neighbouring keys seldom belong
    // to neighbouring records) copies the record from the mapped file, or reads just the
    // record: a window there would be read for the one record it serves.
    const bool scanning = m_neighbourRun >= kScanRun;
    if (!scanning) {
        if (m_view.copy(m_jump.data(), offset, m_recordLength))
            return m_jump.data(); // no system call
    }
    const std::uint32_t window =
        std::max<std::uint32_t>(1, static_cast<std::uint32_t>(kCacheBytes / m_recordLength));
    const std::uint32_t perWindow = scanning ? window : 1;
    const std::uint32_t firstRec = recNo > perWindow / 4 ? recNo - perWindow / 4 : 1;
    const std::uint32_t lastRec = std::min<std::uint32_t>(m_recordCount, firstRec + perWindow - 1);
    const std::uint32_t from = std::min(firstRec, recNo);
    const std::uint32_t to = std::max(lastRec, recNo);
    m_cacheStart = std::uint64_t{m_headerLength} + std::uint64_t{from - 1} * m_recordLength;
    m_cache.resize(static_cast<std::size_t>(to - from + 1) * m_recordLength);
    if (!io::readAt(m_fd, m_cache.data(), m_cache.size(), m_cacheStart)) {
        m_cache.clear();
        fail("record " + std::to_string(recNo) + " cannot be read; the file is shorter than " +
             "its header says");
    }
    return m_cache.data() + (offset - m_cacheStart);
}

const char* Table::prefetched(std::uint32_t recNo) const {
    if (!m_order || !m_view.mapped())
        return nullptr;
    const std::uint64_t batch = m_order->upcomingBatch();
    if (batch == 0) {
        m_view.release();
        return nullptr;
    }
    if (batch != m_prefetchBatch) {
        m_prefetchBatch = batch;
        m_prefetchNumbers.clear();
        m_prefetchPos = 0;
        m_prefetchFrom = m_prefetchTo = 0;
        m_order->upcoming(m_prefetchNumbers);
        if (m_prefetchNumbers.empty()) {
            // Not a walk (a seek, a move back): single reads give their pages back as usual.
            m_view.release();
            return nullptr;
        }
        // The walk keeps the pages it maps until it ends: giving them back after each batch
        // would map most of the file again for the next one.
        m_view.hold(true);
        m_prefetchOffsets.clear();
        for (const std::uint32_t r : m_prefetchNumbers)
            m_prefetchOffsets.push_back(recordOffset(r));
        m_view.populate(m_prefetchOffsets);
    }
    // The walk asks for them in the order given, and may ask for the last one again.
    for (const std::size_t i : {m_prefetchPos, m_prefetchPos - 1}) {
        if (i >= m_prefetchNumbers.size() || m_prefetchNumbers[i] != recNo)
            continue;
        m_prefetchPos = i + 1;
        if (i < m_prefetchFrom || i >= m_prefetchTo)
            copyUpcoming(i);
        if (m_prefetchNumbers[i] == 0)
            return nullptr; // not mapped (appended since): read as usual
        return m_prefetchBytes.data() + (i - m_prefetchFrom) * m_recordLength;
    }
    return nullptr;
}

// Copies the records of a stretch of the batch, from entry `from` on, out of the mapped file.
// A stretch at a time: a few hundred records stay in the processor's cache until the walk
// reads them, where a whole batch's would have gone out to memory and back.
void Table::copyUpcoming(std::size_t from) const {
    constexpr std::size_t kStretch = 256;
    const std::size_t to = std::min(m_prefetchNumbers.size(), from + kStretch);
    m_prefetchBytes.resize(kStretch * std::size_t{m_recordLength});
    m_prefetchFrom = from;
    m_prefetchTo = to;
    bool inView = true;
    for (std::size_t i = from; i < to && inView; ++i)
        inView = m_prefetchNumbers[i] != 0 && m_prefetchNumbers[i] <= m_recordCount;
    if (inView && m_view.copyEach(m_prefetchBytes.data(), m_prefetchOffsets.data() + from,
                                  to - from, m_recordLength))
        return;
    for (std::size_t i = from; i < to; ++i) {
        std::uint32_t& r = m_prefetchNumbers[i];
        if (r == 0 || r > m_recordCount ||
            !m_view.copy(m_prefetchBytes.data() + (i - from) * m_recordLength, m_prefetchOffsets[i],
                         m_recordLength))
            r = 0; // not mapped (appended since, or cut off): read when it comes
    }
}

// The copies of records kept for reading are stale once a record is written.
void Table::forgetCachedRecords() const {
    m_cache.clear();
    m_prefetchNumbers.clear();
    m_prefetchFrom = m_prefetchTo = 0;
    m_view.hold(false);
}

// Maps the records the header counts, for reads that jump about; records appended later are
// read from the file until the next refresh maps them too.
void Table::mapRecords() {
    m_jump.resize(m_recordLength);
    const std::uint64_t end =
        std::uint64_t{m_headerLength} + std::uint64_t{m_recordCount} * m_recordLength;
    if (end != m_view.size())
        m_view.map(m_fd, m_recordCount == 0 ? 0 : end);
}

std::string Table::readRecordFromDisk(std::uint32_t recNo) const {
    std::string bytes(m_recordLength, '\0');
    const std::uint64_t offset =
        std::uint64_t{m_headerLength} + std::uint64_t{recNo - 1} * m_recordLength;
    if (!io::readAt(m_fd, bytes.data(), bytes.size(), offset))
        fail("record " + std::to_string(recNo) + " cannot be read");
    return bytes;
}

std::string Table::readRecord(std::uint32_t recNo) const {
    requireOpen("read a record");
    if (recNo == 0 || recNo > m_recordCount)
        fail("there is no record " + std::to_string(recNo));
    return std::string(cachedRecord(recNo), m_recordLength);
}

void Table::loadRecord(std::uint32_t recNo) {
    m_buffer.assign(cachedRecord(recNo), m_recordLength);
}

bool Table::candidateVisible(std::uint32_t recNo) {
    loadRecord(recNo);
    if (m_buffer[0] == layout::kDeletedFlag)
        return false;
    if (!m_filter)
        return true;
    // The filter reads the candidate through the usual accessors.
    const std::uint32_t saved = m_recNo;
    m_recNo = recNo;
    bool accepted = false;
    try {
        accepted = m_filter(*this);
    } catch (...) {
        // Leave the cursor where it was, not on the candidate the filter choked on.
        m_recNo = saved;
        if (saved != 0) {
            loadRecord(saved);
            m_order->setPosition(saved, m_buffer);
        } else {
            m_buffer.assign(m_recordLength, ' ');
        }
        throw;
    }
    m_recNo = saved;
    return accepted;
}

std::uint32_t Table::skipInvisible(std::uint32_t recNo, bool forward) {
    while (recNo != 0 && !candidateVisible(recNo))
        recNo = forward ? m_order->next() : m_order->prior();
    return recNo;
}

void Table::makeEmpty() {
    m_recNo = 0;
    m_buffer.assign(m_recordLength, ' ');
    m_bof = m_eof = true;
}

// ---------------------------------------------------------------------------------------------
// Cursor

void Table::first() {
    toEnd(true);
}

void Table::last() {
    toEnd(false);
}

void Table::toEnd(bool front) {
    requireOpen("move");
    checkBrowseMode();
    m_view.release();
    const std::uint32_t r = skipInvisible(front ? m_order->first() : m_order->last(), front);
    if (r == 0) {
        makeEmpty();
    } else {
        m_recNo = r;
        m_bof = front;
        m_eof = !front;
    }
    checkCursor();
    notify(TableObserver::Change::Moved);
}

void Table::next() {
    step(true);
}

void Table::prior() {
    step(false);
}

void Table::step(bool forward) {
    requireOpen("move");
    checkBrowseMode();
    if (m_recNo == 0) {
        m_bof = m_eof = true;
        return;
    }
    const std::uint32_t r = skipInvisible(forward ? m_order->next() : m_order->prior(), forward);
    if (r == 0) {
        // The walk is over. Its pages stay mapped for a walk that follows at once (a second
        // report, an export after a report); other reads give them back as usual.
        m_view.release();
        // Off the end: stay on the record we were on.
        (forward ? m_eof : m_bof) = true;
        loadRecord(m_recNo);
        m_order->setPosition(m_recNo, m_buffer);
        return;
    }
    m_recNo = r;
    m_bof = m_eof = false;
    checkCursor();
    notify(TableObserver::Change::Moved);
}

void Table::positionAt(std::uint32_t recNo) {
    loadRecord(recNo);
    m_order->setPosition(recNo, m_buffer);
    if (candidateVisible(recNo)) {
        m_recNo = recNo;
        m_bof = m_eof = false;
        return;
    }
    std::uint32_t r = skipInvisible(m_order->next(), true);
    if (r != 0) {
        m_recNo = r;
        m_bof = m_eof = false;
        return;
    }
    loadRecord(recNo);
    m_order->setPosition(recNo, m_buffer);
    r = skipInvisible(m_order->prior(), false);
    if (r != 0) {
        m_recNo = r;
        m_bof = false;
        m_eof = true;
        return;
    }
    makeEmpty();
}

void Table::gotoBookmark(const Bookmark& mark) {
    requireOpen("move");
    checkBrowseMode();
    if (!mark.isValid() || mark.recNo > rereadRecordCount())
        fail("the bookmark points to no record");
    positionAt(mark.recNo);
    notify(TableObserver::Change::Moved);
}

void Table::refresh() {
    requireOpen("refresh");
    checkBrowseMode();
    forgetCachedRecords();
    rereadRecordCount();
    mapRecords();
    if (m_recNo != 0 && m_recNo <= m_recordCount)
        positionAt(m_recNo);
    else
        first();
    notify(TableObserver::Change::DataChanged);
}

void Table::setFilter(Filter filter) {
    m_filter = std::move(filter);
}

void Table::clearFilter() {
    m_filter = nullptr;
}

std::uint32_t Table::recordCount() {
    requireOpen("count records");
    return rereadRecordCount();
}

std::uint32_t Table::countVisible() {
    std::uint32_t count = 0;
    // The order does not change a count: read the file front to back, which is far cheaper
    // than following an index.
    forEachVisible([&](std::uint32_t) { ++count; });
    return count;
}

std::vector<std::uint32_t> Table::visibleRecordNumbers() {
    std::vector<std::uint8_t> visible;
    std::uint32_t visibleCount = 0;
    forEachVisible([&](std::uint32_t r) {
        visible.resize(r + 1, 0);
        visible[r] = 1;
        ++visibleCount;
    });
    std::vector<std::uint32_t> out;
    out.reserve(visibleCount);
    if (!m_tagOrder) {
        for (std::uint32_t r = 1; r < visible.size(); ++r)
            if (visible[r])
                out.push_back(r);
        return out;
    }
    for (const std::uint32_t r : m_index->file().recordNumbers(m_indexName)) {
        if (r > m_recordCount && r > rereadRecordCount())
            m_index->file().damaged("tag " + m_indexName + " names record " + std::to_string(r) +
                                    ", past the end of the table");
        if (r < visible.size() && visible[r]) {
            visible[r] = 0; // a record named twice is shown once
            out.push_back(r);
        }
    }
    return out;
}

// Calls fn with every record a walk would see, in record order, reading the file front to
// back; the cursor stays where it was.
void Table::forEachVisible(const std::function<void(std::uint32_t)>& fn) {
    requireOpen("count records");
    checkBrowseMode();
    struct Restore {
        Table& t;
        std::uint32_t recNo;
        std::string buffer;
        ~Restore() {
            // The pass read every record; what it read last says nothing about the rows the
            // caller looks at next, and would show them as they were.
            t.m_cache.clear();
            t.m_recNo = recNo;
            t.m_buffer = std::move(buffer);
            if (recNo != 0)
                t.m_order->setPosition(recNo, t.m_buffer);
        }
    } restore{*this, m_recNo, m_buffer};
    const std::uint32_t records = rereadRecordCount();
    for (std::uint32_t r = 1; r <= records; ++r)
        if (candidateVisible(r))
            fn(r);
}

} // namespace dbase
