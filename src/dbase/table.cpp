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
    if (header.format != TableFormat::Dbase && mode != OpenMode::ReadOnly)
        throw DatabaseError(name + ": a " +
                            (header.format == TableFormat::FoxPro ? "FoxPro" : "Visual FoxPro") +
                            " table is read here, never changed; open it read-only.");
    const fs::path index = indexPath(file);
    // With the table to ourselves, no pack or reindex of it can be under way anywhere: what
    // such work left beside it was left by a process that died.
    if (mode == OpenMode::Exclusive)
        temporary::removeStale(file, index);
    std::error_code ec;
    const std::uint8_t indexFlag = readU8(header.fixed, layout::kProductionIndex);
    fs::path missingIndex;
    bool openIndex = false;
    if (header.format == TableFormat::Dbase) {
        if (indexFlag == 0x01 && !fs::exists(index, ec))
            missingIndex = index;
        // Reading needs no index; writing without it would leave its tags behind.
        if (withIndex && !missingIndex.empty() && mode != OpenMode::ReadOnly)
            throw DatabaseError(name + ": its production index " + index.string() + " is missing.");
        openIndex = withIndex && indexFlag == 0x01 && missingIndex.empty();
    } else if ((indexFlag & 0x01) != 0) {
        fs::path cdx = file;
        cdx.replace_extension(".CDX");
        fs::path lower = file;
        lower.replace_extension(".cdx");
        if (!fs::exists(cdx, ec) && !fs::exists(lower, ec))
            missingIndex = cdx;
    }

    std::unique_ptr<MemoFile> memo;
    if (std::any_of(header.fields.begin(), header.fields.end(),
                    [](const Field& f) { return isMemoType(f.type); })) {
        const std::uint8_t version = readU8(header.fixed, layout::kVersion);
        const MemoFile::Kind kind = header.format != TableFormat::Dbase ? MemoFile::Kind::FoxPro
                                    : version == layout::kVersionDbase3Memo
                                        ? MemoFile::Kind::Dbase3
                                        : MemoFile::Kind::Dbase4;
        memo = std::make_unique<MemoFile>(MemoFile::pathFor(file, kind), kind);
    }

    closer.fd = -1;
    m_fd = fd;
    m_path = file;
    m_mode = mode;
    m_format = header.format;
    m_nullFlagsOffset = header.nullFlagsOffset;
    m_nullFlagsLength = header.nullFlagsLength;
    m_memo = std::move(memo);
    m_missingIndex = std::move(missingIndex);
    m_headerBytes = std::move(header.fixed);
    m_recordCount = header.recordCount;
    m_headerLength = header.headerLength;
    m_recordLength = header.recordLength;
    m_fields = std::move(header.fields);
    forgetCachedRecords();
    mapRecords();
    m_lastTouched = {};
    m_state = TableState::Browse;
    m_order = std::make_unique<NaturalOrder>(
        [this](bool reread) { return reread ? rereadRecordCount() : m_recordCount; });
    if (openIndex) {
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
    if (m_batch) {
        try {
            endBatch();
        } catch (const DatabaseError&) {
            // What could not be written stays hidden behind the count; the index is marked.
        }
    }
    m_view.unmap();
    ::close(m_fd); // drops every lock this table held
    m_fd = -1;
    m_state = TableState::Inactive;
    m_fields.clear();
    m_headerBytes.clear();
    m_format = TableFormat::Dbase;
    m_nullFlagsOffset = m_nullFlagsLength = 0;
    m_memo.reset();
    m_missingIndex.clear();
    m_buffer.clear();
    m_saved.clear();
    forgetCachedRecords();
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

TableFormat Table::format() const {
    requireOpen("read the header");
    return m_format;
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
    // FoxPro's byte 28 names its own .CDX, which is no production index of ours.
    return m_format == TableFormat::Dbase &&
           readU8(m_headerBytes, layout::kProductionIndex) == 0x01;
}

void Table::setProductionIndexFlag(bool on) {
    requireWritable("change the header");
    const char byte = on ? 0x01 : 0x00;
    if (!io::writeAt(m_fd, &byte, 1, layout::kProductionIndex))
        fail("the header cannot be written (" + systemError(errno) + ")");
    m_headerBytes[layout::kProductionIndex] = byte;
    if (!on)
        m_missingIndex.clear();
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
