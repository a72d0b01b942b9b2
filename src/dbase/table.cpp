#include "table.h"

#include "dbf_layout.h"
#include "file_io.h"
#include "file_lock.h"
#include "little_endian.h"
#include "natural_order.h"
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

namespace {

constexpr std::size_t kCacheBytes = 64 * 1024;

using text::equalsNoCase;
using text::trim;
using text::trimRight;

char upperAscii(char c) {
    return text::upper(c);
}

bool endsWithNoCase(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() && equalsNoCase(s.substr(s.size() - suffix.size()), suffix);
}

std::string systemError(int err) {
    return std::strerror(err);
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// A decimal number as typed: optional sign, digits, optional point and digits.
struct Decimal {
    bool negative = false;
    std::string whole;
    std::string fraction;
};

std::optional<Decimal> parseDecimal(std::string_view text) {
    Decimal d;
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        d.negative = text[i] == '-';
        ++i;
    }
    while (i < text.size() && isDigit(text[i]))
        d.whole += text[i++];
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && isDigit(text[i]))
            d.fraction += text[i++];
    }
    if (i != text.size() || (d.whole.empty() && d.fraction.empty()))
        return std::nullopt;
    return d;
}

// Fixed-point text with exactly `decimals` places, rounded half away from zero.
std::string formatDecimal(Decimal d, int decimals) {
    std::string digits =
        d.whole + d.fraction.substr(0, std::min<std::size_t>(d.fraction.size(), decimals));
    digits.append(decimals - (digits.size() - d.whole.size()), '0');
    const bool roundUp = d.fraction.size() > static_cast<std::size_t>(decimals) &&
                         d.fraction[static_cast<std::size_t>(decimals)] >= '5';
    if (roundUp) {
        std::size_t i = digits.size();
        while (i > 0) {
            --i;
            if (digits[i] == '9') {
                digits[i] = '0';
            } else {
                ++digits[i];
                break;
            }
            if (i == 0)
                digits.insert(digits.begin(), '1');
        }
        if (digits.empty())
            digits = "1";
    }
    std::size_t wholeLen = digits.size() - static_cast<std::size_t>(decimals);
    std::string whole = digits.substr(0, wholeLen);
    const std::string fraction = digits.substr(wholeLen);
    const auto nonZero = whole.find_first_not_of('0');
    whole = nonZero == std::string::npos ? "0" : whole.substr(nonZero);
    const bool zero = whole == "0" && fraction.find_first_not_of('0') == std::string::npos;
    std::string out = (d.negative && !zero) ? "-" : "";
    out += whole;
    if (decimals > 0)
        out += "." + fraction;
    return out;
}

int daysInMonth(int year, int month) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0))
        return 29;
    return days[month - 1];
}

std::optional<Date> parseDateDigits(std::string_view s) {
    if (s.size() != 8 || !std::all_of(s.begin(), s.end(), isDigit))
        return std::nullopt;
    auto num = [&](std::size_t pos, std::size_t len) {
        int v = 0;
        std::from_chars(s.data() + pos, s.data() + pos + len, v);
        return v;
    };
    Date d{num(0, 4), num(4, 2), num(6, 2)};
    if (!d.isValid())
        return std::nullopt;
    return d;
}

std::string dateDigits(const Date& d) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", d.year, d.month, d.day);
    return buf;
}

void validateFieldName(const std::string& name, const std::string& file) {
    const bool ok =
        !name.empty() && name.size() <= 10 &&
        ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')) &&
        std::all_of(name.begin(), name.end(), [](char c) {
            return isDigit(c) || c == '_' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        });
    if (!ok)
        throw DatabaseError(file + ": \"" + name +
                            "\" is not a valid field name (1 to 10 letters, digits or _, "
                            "starting with a letter).");
}

struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0)
            ::close(fd);
    }
};

void syncDirectory(const fs::path& dir) {
    const int dfd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

} // namespace

bool Date::isValid() const {
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
           day <= daysInMonth(year, month);
}

// ---------------------------------------------------------------------------------------------
// Creating

fs::path Table::tablePath(const fs::path& dir, std::string_view name) {
    // Names carry no extension, but one that ends in ".DBF" in any case is accepted; either
    // spelling of the extension is found on disk.
    if (endsWithNoCase(name, ".dbf")) {
        const fs::path exact = dir / std::string(name);
        std::error_code ec;
        if (fs::exists(exact, ec))
            return exact;
        name.remove_suffix(4);
    }
    fs::path upper = dir / (std::string(name) + ".DBF");
    fs::path lower = dir / (std::string(name) + ".dbf");
    std::error_code ec;
    if (!fs::exists(upper, ec) && fs::exists(lower, ec))
        return lower;
    return upper;
}

fs::path Table::create(const fs::path& dir, std::string_view name,
                       const std::vector<FieldDef>& defs) {
    const fs::path path = tablePath(dir, name);
    const std::string file = path.string();
    std::error_code ec;
    if (!fs::is_directory(dir.empty() ? fs::path(".") : dir, ec))
        throw DatabaseError(file + ": the directory " + dir.string() + " does not exist.");
    if (defs.empty())
        throw DatabaseError(file + ": a table needs at least one field.");
    if (defs.size() > layout::kMaxFields)
        throw DatabaseError(file + ": a table holds at most 255 fields.");

    std::vector<Field> fields;
    std::size_t recordLength = 1;
    for (const FieldDef& def : defs) {
        validateFieldName(def.name, file);
        Field f;
        for (char c : def.name)
            f.name += upperAscii(c);
        for (const Field& other : fields)
            if (other.name == f.name)
                throw DatabaseError(file + ": the field name " + f.name + " is used twice.");
        switch (def.kind) {
        case FieldDef::Kind::Character:
            if (def.width < 1 || def.width > layout::kMaxCharacterWidth)
                throw DatabaseError(file + ": character field " + f.name + " must be 1 to 254 " +
                                    "characters wide, not " + std::to_string(def.width) + ".");
            f.type = FieldType::Character;
            f.length = def.width;
            break;
        case FieldDef::Kind::Integer:
            f.type = FieldType::Numeric;
            f.length = kIntegerFieldWidth;
            break;
        case FieldDef::Kind::Float:
            f.type = FieldType::Numeric;
            f.length = kFloatFieldWidth;
            f.decimals = kFloatFieldDecimals;
            break;
        case FieldDef::Kind::Date:
            f.type = FieldType::Date;
            f.length = 8;
            break;
        }
        f.offset = static_cast<int>(recordLength);
        recordLength += static_cast<std::size_t>(f.length);
        fields.push_back(std::move(f));
    }
    if (recordLength > layout::kMaxRecordLength)
        throw DatabaseError(file + ": the fields need more than 65535 bytes per record.");

    // Refuse to pull the file from under someone who has it open: their writes would go to a
    // file that no longer has a name. The lock is held until the new file has taken its place.
    int oldFd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    FdCloser oldCloser{oldFd};
    if (oldFd >= 0 && !locks::tryLock(oldFd, locks::kOpenByte, locks::Kind::Write))
        throw DatabaseError(file + ": the table is busy; another program or user has it open.");

    std::string bytes = buildHeader(fields, kDefaultLanguageDriver, today());
    bytes += layout::kEndOfFile;

    fs::path temp;
    const int fd = temporary::create(path, "new", temp);
    if (fd < 0)
        throw DatabaseError(file + ": the table cannot be created (" + systemError(errno) + ").");
    FdCloser closer{fd};
    if (!io::writeAt(fd, bytes.data(), bytes.size(), 0) || !io::sync(fd)) {
        const int err = errno;
        ::unlink(temp.c_str());
        throw DatabaseError(file + ": the table cannot be written (" + systemError(err) + ").");
    }
    struct stat st {};
    if (oldFd >= 0 && ::fstat(oldFd, &st) == 0) {
        ::fchmod(fd, st.st_mode & 07777);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        throw DatabaseError(file + ": the table cannot be created (" + systemError(err) + ").");
    }
    syncDirectory(path.parent_path());
    // The new table has no index; one left by the table it replaced is not its own.
    fs::remove(indexPath(path), ec);
    return path;
}

// ---------------------------------------------------------------------------------------------
// Opening and closing

Table::Table() = default;

Table::~Table() {
    m_observers.clear(); // observers may already be gone; nobody needs the closing notice
    try {
        close();
    } catch (...) {
    }
}

void Table::open(const fs::path& dir, std::string_view name, OpenMode mode) {
    std::error_code ec;
    if (!dir.empty() && !fs::is_directory(dir, ec))
        throw DatabaseError(tablePath(dir, name).string() + ": the directory " + dir.string() +
                            " does not exist.");
    openFile(tablePath(dir, name), mode);
}

void Table::openFile(const fs::path& file, OpenMode mode, bool withIndex) {
    close();
    const std::string name = file.string();
    const int flags = (mode == OpenMode::ReadOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC;
    const int fd = ::open(file.c_str(), flags);
    if (fd < 0) {
        const int err = errno;
        if (err == ENOENT)
            throw DatabaseError(name + ": the table does not exist.");
        if (err == EACCES || err == EROFS)
            throw DatabaseError(name + ": permission denied" +
                                (mode == OpenMode::ReadOnly ? "." : " (it may be read-only)."));
        throw DatabaseError(name + ": the table cannot be opened (" + systemError(err) + ").");
    }
    FdCloser closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        throw DatabaseError(name + ": not a dBase table (not a regular file).");

    const auto kind = mode == OpenMode::Exclusive ? locks::Kind::Write : locks::Kind::Read;
    if (!locks::tryLock(fd, locks::kOpenByte, kind)) {
        if (errno == EAGAIN || errno == EACCES)
            throw DatabaseError(
                name + (mode == OpenMode::Exclusive
                            ? ": the table is busy; another program or user has it open."
                            : ": the table is busy; another program or user has it open for "
                              "exclusive use."));
        throw DatabaseError(name + ": the table cannot be locked (" + systemError(errno) + ").");
    }

    DbfHeader header = readHeader(fd, name);
    const fs::path index = indexPath(file);
    // With the table to ourselves, no pack or reindex of it can be under way anywhere: what
    // such work left beside it was left by a process that died.
    if (mode == OpenMode::Exclusive)
        temporary::removeStale(file, index);
    std::error_code ec;
    if (withIndex && readU8(header.fixed, layout::kProductionIndex) == 0x01 &&
        !fs::exists(index, ec))
        throw DatabaseError(name + ": its production index " + index.string() + " is missing.");

    closer.fd = -1;
    m_fd = fd;
    m_path = file;
    m_mode = mode;
    m_headerBytes = std::move(header.fixed);
    m_recordCount = header.recordCount;
    m_headerLength = header.headerLength;
    m_recordLength = header.recordLength;
    m_fields = std::move(header.fields);
    m_cache.clear();
    mapRecords();
    m_lastTouched = {};
    m_state = TableState::Browse;
    m_order = std::make_unique<NaturalOrder>(
        [this](bool reread) { return reread ? rereadRecordCount() : m_recordCount; });
    if (withIndex && hasProductionIndex()) {
        try {
            attachIndex(ProductionIndex::open(*this));
        } catch (...) {
            close();
            throw;
        }
    }
    first();
    notify(TableObserver::Change::DataChanged);
}

void Table::close() {
    if (m_fd < 0)
        return;
    if (m_state == TableState::Edit || m_state == TableState::Insert)
        cancel();
    m_view.unmap();
    ::close(m_fd); // drops every lock this table held
    m_fd = -1;
    m_state = TableState::Inactive;
    m_fields.clear();
    m_headerBytes.clear();
    m_buffer.clear();
    m_saved.clear();
    m_cache.clear();
    m_recNo = 0;
    m_recordCount = 0;
    m_lockedRecNo = 0;
    m_bof = m_eof = true;
    m_order.reset();
    m_tagOrder = nullptr;
    m_indexName.clear();
    detachIndex();
    notify(TableObserver::Change::DataChanged);
}

bool Table::isOpen() const {
    return m_fd >= 0;
}

// ---------------------------------------------------------------------------------------------
// Header facts and fields

void Table::requireOpen(const char* what) const {
    if (m_fd < 0)
        throw DatabaseError(std::string("Cannot ") + what + ": the table is not open.");
}

void Table::requireWritable(const char* what) const {
    requireOpen(what);
    if (m_mode == OpenMode::ReadOnly)
        fail(std::string("cannot ") + what + "; the table is open read-only");
}

void Table::requireEditing(const char* what) const {
    requireOpen(what);
    if (m_state != TableState::Edit && m_state != TableState::Insert)
        fail(std::string("cannot ") + what + "; the table is not in edit or insert mode");
}

// Invariants 5 and 6 (see table.h).
void Table::checkCursor() const {
    assert(m_recNo == 0 || m_recNo <= m_recordCount);
    assert(m_state != TableState::Browse || m_buffer.size() == m_recordLength);
    assert((m_tagOrder != nullptr) == !m_indexName.empty());
    assert(m_tagOrder == nullptr || m_tagOrder == m_order.get());
}

void Table::fail(const std::string& what) const {
    throw DatabaseError(m_path.string() + ": " + what + ".");
}

std::uint8_t Table::versionByte() const {
    requireOpen("read the header");
    return readU8(m_headerBytes, layout::kVersion);
}

std::uint8_t Table::languageDriver() const {
    requireOpen("read the header");
    return readU8(m_headerBytes, layout::kLanguageDriver);
}

CodePage Table::codePage() const {
    return codePageForLanguageDriver(languageDriver());
}

bool Table::hasProductionIndex() const {
    requireOpen("read the header");
    return readU8(m_headerBytes, layout::kProductionIndex) == 0x01;
}

void Table::setProductionIndexFlag(bool on) {
    requireWritable("change the header");
    const char byte = on ? 0x01 : 0x00;
    if (!io::writeAt(m_fd, &byte, 1, layout::kProductionIndex))
        fail("the header cannot be written (" + systemError(errno) + ")");
    m_headerBytes[layout::kProductionIndex] = byte;
}

std::optional<Date> Table::lastUpdate() const {
    requireOpen("read the header");
    Date d{1900 + readU8(m_headerBytes, layout::kUpdateYear),
           readU8(m_headerBytes, layout::kUpdateMonth), readU8(m_headerBytes, layout::kUpdateDay)};
    if (!d.isValid())
        return std::nullopt;
    return d;
}

const Field& Table::field(int index) const {
    requireOpen("read a field");
    if (index < 0 || index >= fieldCount())
        fail("there is no field number " + std::to_string(index + 1));
    return m_fields[static_cast<std::size_t>(index)];
}

int Table::fieldIndex(std::string_view name) const {
    for (std::size_t i = 0; i < m_fields.size(); ++i)
        if (equalsNoCase(m_fields[i].name, name))
            return static_cast<int>(i);
    return -1;
}

int Table::requireField(std::string_view name) const {
    const int index = fieldIndex(name);
    if (index < 0)
        throw DatabaseError(m_path.string() + ": the table has no field " + std::string(name) +
                            ".");
    return index;
}

int Table::recordLength() const {
    return static_cast<int>(m_recordLength);
}

// ---------------------------------------------------------------------------------------------
// Reading records

std::uint32_t Table::rereadRecordCount() {
    // Nobody else can append to a table we hold exclusively.
    if (m_mode == OpenMode::Exclusive || m_fd < 0)
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
    const std::uint64_t offset =
        std::uint64_t{m_headerLength} + std::uint64_t{recNo - 1} * m_recordLength;
    if (offset >= m_cacheStart && offset + m_recordLength <= m_cacheStart + m_cache.size())
        return m_cache.data() + (offset - m_cacheStart);

    // Centre the window a little behind the record so that walking backwards also hits it.
    // A scan reads a window; a read far from the last one (a key-order walk jumping about)
    // copies the record from the mapped file, or reads just the record.
    const std::uint32_t window =
        std::max<std::uint32_t>(1, static_cast<std::uint32_t>(kCacheBytes / m_recordLength));
    const std::uint32_t distance = recNo > m_lastMiss ? recNo - m_lastMiss : m_lastMiss - recNo;
    m_lastMiss = recNo;
    if (distance > 2 && m_view.copy(m_jump.data(), offset, m_recordLength))
        return m_jump.data(); // a jump: straight from the mapped file, no system call
    const std::uint32_t perWindow = distance <= 2 ? window : 1;
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
    m_cache.clear();
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
        m_cache.clear();
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
        m_cache.clear();
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

// Pack writes the live records into a new file beside the table and renames it over the table.
// The new file is locked for exclusive use before it gets the table's name, so no other program
// can slip in between, and the table stays open on it afterwards. A failure before the rename
// leaves the table exactly as it was.
void Table::pack() {
    requireWritable("pack");
    if (m_mode != OpenMode::Exclusive)
        fail("packing needs exclusive use of the table");
    checkBrowseMode();

    fs::path temp;
    const int fd = temporary::create(m_path, "pack", temp);
    if (fd < 0)
        fail("the table cannot be packed (" + systemError(errno) + ")");
    FdCloser closer{fd};
    auto abandon = [&](const std::string& why) {
        ::unlink(temp.c_str());
        fail("the table cannot be packed (" + why + ")");
    };

    std::string header(m_headerLength, '\0');
    if (!io::readAt(m_fd, header.data(), header.size(), 0))
        abandon("the header cannot be read");
    std::uint64_t out = m_headerLength;
    std::uint32_t kept = 0;
    std::string chunk;
    chunk.reserve(kCacheBytes + m_recordLength);
    for (std::uint32_t r = 1; r <= m_recordCount; ++r) {
        const char* rec = cachedRecord(r);
        if (rec[0] == layout::kDeletedFlag)
            continue;
        chunk.append(rec, m_recordLength);
        ++kept;
        if (chunk.size() >= kCacheBytes) {
            if (!io::writeAt(fd, chunk.data(), chunk.size(), out))
                abandon(systemError(errno));
            out += chunk.size();
            chunk.clear();
        }
    }
    chunk += layout::kEndOfFile;
    const Date now = today();
    putUpdateDate(header, now);
    writeU32(header, layout::kRecordCount, kept);
    struct stat st {};
    if (!io::writeAt(fd, chunk.data(), chunk.size(), out) ||
        !io::writeAt(fd, header.data(), header.size(), 0) || ::fstat(m_fd, &st) != 0 ||
        ::fchmod(fd, st.st_mode & 07777) != 0 || !io::sync(fd))
        abandon(systemError(errno));
    if (m_hook) {
        try {
            m_hook->aboutToPack(*this);
        } catch (const DatabaseError& e) {
            abandon(e.what());
        }
    }
    if (::rename(temp.c_str(), m_path.c_str()) != 0)
        abandon(systemError(errno));
    syncDirectory(m_path.parent_path());

    ::close(m_fd); // the old file, now nameless; its locks go with it
    m_fd = fd;
    closer.fd = -1;
    m_headerBytes = header.substr(0, layout::kFixedHeaderSize);
    m_recordCount = kept;
    m_view.unmap(); // it shows the old file
    mapRecords();
    m_lastTouched = now;
    m_lockedRecNo = 0;
    m_cache.clear();
    if (m_hook)
        m_hook->packed(*this);
    first();
    notify(TableObserver::Change::DataChanged);
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

std::optional<double> Table::fieldDouble(int index) const {
    const Field& f = field(index);
    if (f.type != FieldType::Numeric && f.type != FieldType::Float)
        fail("field " + f.name + " is not a number field");
    std::string_view t = trim(fieldBytes(index));
    if (t.empty())
        return std::nullopt;
    if (t.front() == '+')
        t.remove_prefix(1);
    double value = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    if (ec != std::errc() || end != t.data() + t.size() || !std::isfinite(value))
        fail("field " + f.name + " of record " + std::to_string(m_recNo) + " holds no number (\"" +
             std::string(t) + "\")");
    return value;
}

std::optional<std::int64_t> Table::fieldInteger(int index) const {
    const Field& f = field(index);
    if (f.type != FieldType::Numeric && f.type != FieldType::Float)
        fail("field " + f.name + " is not a number field");
    std::string_view t = trim(fieldBytes(index));
    if (t.empty())
        return std::nullopt;
    if (t.front() == '+')
        t.remove_prefix(1);
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    if (ec == std::errc() && end == t.data() + t.size())
        return value;
    const std::optional<double> d = fieldDouble(index);
    if (!d || std::fabs(*d) >= 9.2e18)
        fail("field " + f.name + " of record " + std::to_string(m_recNo) +
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

// ---------------------------------------------------------------------------------------------
// Order, observers

void Table::setRecordOrder(std::unique_ptr<RecordOrder> order) {
    requireOpen("change the order");
    checkBrowseMode();
    m_tagOrder = nullptr;
    m_indexName.clear();
    if (order)
        m_order = std::move(order);
    else
        m_order = std::make_unique<NaturalOrder>(
            [this](bool reread) { return reread ? rereadRecordCount() : m_recordCount; });
    first();
}

void Table::attach(TableObserver* observer) {
    if (observer &&
        std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end())
        m_observers.push_back(observer);
}

void Table::detach(TableObserver* observer) {
    m_observers.erase(std::remove(m_observers.begin(), m_observers.end(), observer),
                      m_observers.end());
}

void Table::suspendUpdates() {
    ++m_suspend;
}

void Table::resumeUpdates() {
    if (m_suspend == 0)
        return;
    if (--m_suspend == 0 && m_pendingNotice) {
        m_pendingNotice = false;
        notify(TableObserver::Change::DataChanged);
    }
}

void Table::notify(TableObserver::Change change) {
    if (m_observers.empty())
        return;
    if (m_suspend > 0) {
        m_pendingNotice = true;
        return;
    }
    const std::vector<TableObserver*> observers = m_observers; // an observer may detach
    for (TableObserver* o : observers)
        if (std::find(m_observers.begin(), m_observers.end(), o) != m_observers.end())
            o->tableChanged(*this, change);
}

} // namespace dbase

// ---------------------------------------------------------------------------------------------
// Production index

namespace dbase {

fs::path Table::indexPath(const fs::path& tableFile) {
    return ProductionIndex::pathFor(tableFile);
}

void Table::attachIndex(std::unique_ptr<ProductionIndex> index) {
    m_index = std::move(index);
    m_hook = m_index.get();
}

void Table::detachIndex() {
    if (m_index && m_hook == m_index.get())
        m_hook = nullptr;
    m_index.reset();
}

// Another program may have given the table its first tag, or removed its last one, since we
// opened it; writes must follow whatever the header says now.
void Table::followIndexChanges() {
    if (m_mode == OpenMode::Exclusive)
        return;
    char byte = 0;
    if (!io::readAt(m_fd, &byte, 1, layout::kProductionIndex))
        fail("the header cannot be read");
    m_headerBytes[layout::kProductionIndex] = byte;
    std::error_code ec;
    const bool present = byte == 0x01 && fs::exists(indexPath(m_path), ec);
    if (present && !m_index)
        attachIndex(ProductionIndex::open(*this));
    else if (!present && m_index && !m_tagOrder)
        detachIndex();
}

std::vector<IndexTag> Table::indexTags() {
    requireOpen("list the index tags");
    if (!m_index)
        return {};
    return m_index->tags();
}

void Table::addIndex(std::string_view tag, std::string_view expression) {
    requireWritable("add an index tag");
    checkBrowseMode();
    followIndexChanges();
    if (m_index) {
        m_index->addTag(*this, tag, expression);
        return;
    }
    attachIndex(ProductionIndex::create(*this, tag, expression));
    setProductionIndexFlag(true);
}

void Table::deleteIndex(std::string_view tag) {
    requireWritable("delete an index tag");
    checkBrowseMode();
    followIndexChanges();
    if (!m_index || !m_index->findTag(tag))
        fail("the production index has no tag " + std::string(tag));
    if (m_tagOrder && ProductionIndex::sameTagName(m_indexName, tag))
        setIndex({});
    if (m_index->tags().size() > 1) {
        m_index->deleteTag(tag);
        return;
    }
    // The last tag: the index goes, and the header stops pointing at it first.
    const fs::path index = m_index->path();
    if (m_tagOrder)
        setIndex({});
    setProductionIndexFlag(false);
    m_index->file().retire();
    detachIndex();
    std::error_code ec;
    if (!fs::remove(index, ec) && ec)
        fail("the production index " + index.string() + " cannot be removed (" + ec.message() +
             ")");
}

void Table::setIndex(std::string_view tag) {
    requireOpen("select an index tag");
    if (tag.empty()) {
        setRecordOrder(nullptr);
        return;
    }
    if (!m_index)
        fail("the table has no production index, so there is no tag " + std::string(tag));
    const auto info = m_index->findTag(tag);
    if (!info)
        fail("the production index has no tag " + std::string(tag));
    const KeyExpression& expression = m_index->expression(*this, *info);
    auto order =
        std::make_unique<TagOrder>(m_index->file(), *info, expression, [this](bool reread) {
            return reread ? rereadRecordCount() : m_recordCount;
        });
    TagOrder* raw = order.get();
    checkBrowseMode();
    m_order = std::move(order);
    m_tagOrder = raw;
    m_indexName = info->name;
    m_cache.clear();
    try {
        first();
    } catch (const DatabaseError&) {
        // A tag that cannot be walked (it names records that are gone, say) leaves the table
        // in record order, open and usable, so that the indexes can be regenerated.
        m_tagOrder = nullptr;
        m_indexName.clear();
        m_order = std::make_unique<NaturalOrder>(
            [this](bool reread) { return reread ? rereadRecordCount() : m_recordCount; });
        try {
            first();
        } catch (const DatabaseError&) {
            makeEmpty();
        }
        throw;
    }
}

std::uint32_t Table::seekKey(std::string_view value, std::string& key) {
    requireOpen("look up a key");
    checkBrowseMode();
    if (!m_tagOrder)
        fail("no index tag is selected for a key lookup");
    key = m_index->keyFromValue(m_tagOrder->tag(), value);
    return m_tagOrder->seek(key);
}

bool Table::findKey(std::string_view value) {
    std::string key;
    std::uint32_t r = seekKey(value, key);
    const MdxTagInfo& tag = m_tagOrder->tag();
    auto sameKey = [&] {
        return compareKeys(tag.keyType, reinterpret_cast<const uint8_t*>(m_tagOrder->key().data()),
                           reinterpret_cast<const uint8_t*>(key.data()), tag.keyLength) == 0;
    };
    while (r != 0 && sameKey() && !candidateVisible(r))
        r = m_order->next();
    if (r != 0 && sameKey()) {
        m_recNo = r;
        loadRecord(r);
        m_bof = m_eof = false;
        notify(TableObserver::Change::Moved);
        return true;
    }
    // Not there: stay on the current record.
    if (m_recNo != 0) {
        loadRecord(m_recNo);
        m_order->setPosition(m_recNo, m_buffer);
    }
    return false;
}

void Table::findNearest(std::string_view value) {
    std::string key;
    const std::uint32_t r = skipInvisible(seekKey(value, key), true);
    if (r == 0) {
        last();
        if (m_recNo != 0)
            m_eof = true;
        return;
    }
    m_recNo = r;
    loadRecord(r);
    m_bof = m_eof = false;
    notify(TableObserver::Change::Moved);
}

std::vector<std::string> Table::regenerateIndexes() {
    requireWritable("regenerate the indexes");
    checkBrowseMode();
    followIndexChanges();
    std::vector<std::string> notes;
    std::error_code ec;
    const fs::path index = indexPath(m_path);
    if (!m_index && !hasProductionIndex())
        return notes;
    if (!m_index && !fs::exists(index, ec)) {
        // Nothing is left to say which tags there were; stop pointing at the missing file.
        setProductionIndexFlag(false);
        notes.push_back(m_path.string() + ": its production index " + index.string() +
                        " is missing, so its tags cannot be rebuilt; the table no longer "
                        "names one.  Add the tags again.");
        return notes;
    }
    if (m_index) {
        try {
            notes = m_index->regenerate(*this);
        } catch (const DatabaseError&) {
            // A tag header too damaged to read: start again from what the tag table names.
            notes.clear();
            if (m_tagOrder)
                setIndex({});
            detachIndex();
        }
    }
    if (!m_index)
        attachIndex(ProductionIndex::salvage(*this, notes));
    if (m_recNo != 0 && m_recNo <= m_recordCount)
        positionAt(m_recNo);
    else
        first();
    notify(TableObserver::Change::DataChanged);
    return notes;
}

std::vector<std::string> Table::checkIndexes() {
    requireOpen("check the indexes");
    if (!m_index)
        return {};
    return m_index->check(*this);
}

} // namespace dbase
