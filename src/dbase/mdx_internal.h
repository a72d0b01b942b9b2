#pragma once

// The MDX byte layout and the structures the files implementing MdxFile and MdxCursor share;
// not for use outside the engine.

#include "dbase/database_error.h"
#include "dbase/file_io.h"
#include "dbase/little_endian.h"
#include "dbase/mdx_file.h"
#include "dbase/text.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dbase {

namespace mdx_detail {

// File header, page 0 (512 bytes), then the tag table in pages 1-3.
//
// | Off | Len | Meaning                                                         |
// |-----|-----|-----------------------------------------------------------------|
// | 0   | 1   | version: 2 (dBase IV); 3 from dBase 7 writers is read as well   |
// | 1   | 3   | creation date Y-1900, M, D                                      |
// | 4   | 16  | table base name, NUL-padded                                     |
// | 20  | 2   | block size in 512-byte pages (2)                                |
// | 22  | 2   | block size in bytes (1024), = 512 x the value at 20             |
// | 24  | 1   | production index flag (1)                                       |
// | 25  | 1   | tag slots (48)                                                  |
// | 26  | 1   | slot length (32)                                                |
// | 28  | 2   | tags in use                                                     |
// | 31  | 1   | the table's language driver                                     |
// | 32  | 4   | pages in file = next page to allocate                           |
// | 36  | 4   | first free page (0; we keep no free list)                       |
// | 44  | 3   | date of last update Y-1900, M, D                                |
// | 48  | 4   | change counter of this program (other writers leave 0): odd     |
// |     |     | while a change is being written, and in a file replaced by or   |
// |     |     | removed for a new one                                           |
// | 52  | 4   | record write in progress, ours only (0 none, kMdxWholeIndex the   |
// |     |     | whole table): set under the write lock before a record write and  |
// |     |     | cleared after its keys; still set when a writer died half-way     |
// | 529 | 1   | 1 (slot 0 of the tag area; written by every dBase IV writer)    |
inline constexpr std::size_t kPageSize = 512;
inline constexpr std::size_t kHeaderBytes = 2048;
inline constexpr uint32_t kFirstDataPage = 4;
inline constexpr std::size_t kHdrVersion = 0;
inline constexpr std::size_t kHdrCreated = 1;
inline constexpr std::size_t kHdrName = 4;
inline constexpr std::size_t kHdrNameLength = 16;
inline constexpr std::size_t kHdrBlockPages = 20;
inline constexpr std::size_t kHdrBlockBytes = 22;
inline constexpr std::size_t kHdrProduction = 24;
inline constexpr std::size_t kHdrSlotCount = 25;
inline constexpr std::size_t kHdrSlotLength = 26;
inline constexpr std::size_t kHdrTagsInUse = 28;
inline constexpr std::size_t kHdrLanguage = 31;
inline constexpr std::size_t kHdrPages = 32;
inline constexpr std::size_t kHdrUpdated = 44;
inline constexpr std::size_t kHdrChangeCounter = 48;
inline constexpr std::size_t kHdrPendingWrite = 52;
inline constexpr std::size_t kTagAreaMark = 529;
inline constexpr uint8_t kVersionDBase4 = 2;
inline constexpr uint8_t kVersionDBase7 = 3;
inline constexpr uint16_t kDefaultBlockPages = 2;
inline constexpr uint8_t kSlotCount = 48;
inline constexpr uint8_t kSlotLength = 32;

// Tag table entry i at 544 + 32 i.
//
// | Off | Len | Meaning                                                        |
// |-----|-----|----------------------------------------------------------------|
// | 0   | 4   | page of the tag header block                                   |
// | 4   | 11  | tag name, NUL-padded, upper case                               |
// | 15  | 1   | key format (0x10)                                              |
// | 16  | 1   | left child in the tree of tag names (1-based tag number, 0 none) |
// | 17  | 1   | right child                                                    |
// | 18  | 1   | parent                                                         |
// | 19  | 1   | 2                                                              |
// | 20  | 1   | key type C, N or D                                             |
inline constexpr std::size_t kSlotsOffset = 544;
inline constexpr std::size_t kSlotHeaderPage = 0;
inline constexpr std::size_t kSlotName = 4;
inline constexpr std::size_t kSlotFormat = 15;
inline constexpr std::size_t kSlotLeft = 16;
inline constexpr std::size_t kSlotRight = 17;
inline constexpr std::size_t kSlotParent = 18;
inline constexpr std::size_t kSlotConstant = 19;
inline constexpr std::size_t kSlotKeyType = 20;

// Tag header block.
//
// | Off | Len | Meaning                                                       |
// |-----|-----|---------------------------------------------------------------|
// | 0   | 4   | root node page                                                |
// | 4   | 4   | pages used by the tag (informational)                         |
// | 8   | 1   | key format: 0x10, +0x08 descending, +0x40 unique              |
// | 9   | 1   | key type C, N or D                                            |
// | 12  | 2   | key length                                                    |
// | 14  | 2   | maximum keys per node = (block bytes - 12) / entry length     |
// | 16  | 2   | 1 for date keys                                               |
// | 18  | 2   | entry length = key length + 4 rounded up to a multiple of 4   |
// | 20  | 1   | change counter (informational)                                |
// | 24  | 220 | key expression, NUL-terminated                                |
// | 245 | 1   | 1 when a FOR expression is present                            |
// | 246 | 1   | 1 (has keys)                                                  |
// | 762 | 220 | FOR expression, NUL-terminated                                |
inline constexpr std::size_t kTagRoot = 0;
inline constexpr std::size_t kTagPagesUsed = 4;
inline constexpr std::size_t kTagFlags = 8;
inline constexpr std::size_t kTagKeyType = 9;
inline constexpr std::size_t kTagKeyLength = 12;
inline constexpr std::size_t kTagMaxKeys = 14;
inline constexpr std::size_t kTagDateFlag = 16;
inline constexpr std::size_t kTagGroupLength = 18;
inline constexpr std::size_t kTagVersion = 20;
inline constexpr std::size_t kTagExpression = 24;
inline constexpr std::size_t kTagForPresent = 245;
inline constexpr std::size_t kTagHasKeys = 246;
inline constexpr std::size_t kTagForExpression = 762;
inline constexpr std::size_t kExpressionLength = 220;
inline constexpr uint8_t kFlagBase = 0x10;
inline constexpr uint8_t kFlagDescending = 0x08;
inline constexpr uint8_t kFlagUnique = 0x40;

// B-tree node block.
//
// | Off     | Len | Meaning                                                        |
// |---------|-----|----------------------------------------------------------------|
// | 0       | 4   | number of entries n                                            |
// | 4       | 4   | 0 (split bookkeeping of some writers; ignored)                 |
// | 8       | g·n | entries: 4-byte record number (leaf) or child page (interior), |
// |         |     | then the key, zero padding up to g                             |
// | 8 + g·n | 4   | 0 in a leaf; in an interior node the right-most child page     |
//
// The key of an interior entry is the highest key in that child's subtree.
inline constexpr std::size_t kNodeCount = 0;
inline constexpr std::size_t kNodeEntries = 8;

inline constexpr int kMaxDepth = 32;
inline constexpr off_t kLockByte = 0xEFFFFFFE;

inline std::string upperName(std::string_view name) {
    return text::upper(name);
}

inline std::string cString(const uint8_t* p, std::size_t max) {
    std::size_t n = 0;
    while (n < max && p[n] != 0)
        ++n;
    return std::string(reinterpret_cast<const char*>(p), n);
}

inline uint16_t groupLengthFor(uint16_t keyLength) {
    return uint16_t((keyLength + 4 + 3) / 4 * 4);
}

inline void putDate(uint8_t* p) {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    p[0] = uint8_t(tm.tm_year);
    p[1] = uint8_t(tm.tm_mon + 1);
    p[2] = uint8_t(tm.tm_mday);
}

inline std::string errnoText() {
    return std::strerror(errno);
}

inline void writeAll(int fd, const uint8_t* data, std::size_t size, off_t offset,
                     const std::string& path) {
    if (!io::writeAt(fd, data, size, uint64_t(offset)))
        throw DatabaseError("Cannot write the index \"" + path + "\": " + errnoText() + ".");
}

inline bool readAll(int fd, uint8_t* data, std::size_t size, off_t offset) {
    return io::readAt(fd, data, size, uint64_t(offset));
}

struct Entry {
    uint32_t ptr = 0; // record number in a leaf, child page in an interior node
    std::string key;
};

} // namespace mdx_detail

struct MdxFile::Header {
    std::vector<uint8_t> bytes;
    uint32_t pages = 0;
    uint16_t blockPages = 0;
    uint32_t blockBytes = 0;
    uint16_t tagCount = 0;
};

struct MdxFile::TagState {
    std::size_t slot = 0;
    std::string name;
    uint32_t headerPage = 0;
    uint32_t root = 0;
    KeyType type = KeyType::Character;
    uint16_t keyLength = 0;
    uint16_t maxKeys = 0;
    uint16_t groupLength = 0;
    bool descending = false;
    bool unique = false;
    std::string expression;
    std::string forExpression;
    uint16_t blockPages = 0;
    uint32_t blockBytes = 0;
    uint32_t pages = 0; // pages in file when resolved

    int compareKey(const uint8_t* a, const uint8_t* b) const {
        const int c = compareKeys(type, a, b, keyLength);
        return descending ? -c : c;
    }
    int compareEntry(const uint8_t* a, uint32_t ra, const uint8_t* b, uint32_t rb) const {
        const int c = compareKey(a, b);
        if (c != 0)
            return c;
        return ra < rb ? -1 : (ra > rb ? 1 : 0);
    }
    MdxTagInfo info() const {
        return {name, expression, forExpression, type, keyLength, descending, unique};
    }
};

struct MdxFile::Node {
    uint32_t page = 0;
    bool leaf = true;
    uint32_t count = 0;
    uint16_t group = 0;
    std::vector<uint8_t> block;

    const uint8_t* entry(uint32_t i) const {
        return block.data() + mdx_detail::kNodeEntries + i * group;
    }
    uint32_t ptr(uint32_t i) const { return le::u32(entry(i)); }
    const uint8_t* key(uint32_t i) const { return entry(i) + 4; }
    // Child i of an interior node; i == count is the right-most pointer.
    uint32_t child(uint32_t i) const { return le::u32(entry(i)); }
};

// Shared or exclusive hold of the index's lock byte for one operation. Nested holds inside
// one operation reuse the outer one.
class MdxFile::Lock {
public:
    Lock(MdxFile& file, bool exclusive) : m_file(file) {
        if (m_file.m_lockDepth++ > 0)
            return;
        for (;;) {
            set(exclusive ? F_WRLCK : F_RDLCK);
            struct stat st {};
            if (::fstat(m_file.m_fd, &st) == 0 && st.st_nlink > 0)
                break;
            // Another process replaced or removed the file: follow the path to the new one.
            set(F_UNLCK);
            try {
                m_file.reopenIfReplaced();
            } catch (...) {
                --m_file.m_lockDepth;
                throw;
            }
        }
    }
    ~Lock() {
        if (--m_file.m_lockDepth == 0)
            set(F_UNLCK);
    }

private:
    void set(short type) {
        struct flock fl {};
        fl.l_type = type;
        fl.l_whence = SEEK_SET;
        fl.l_start = mdx_detail::kLockByte;
        fl.l_len = 1;
        while (::fcntl(m_file.m_fd, F_OFD_SETLKW, &fl) < 0 && errno == EINTR) {
        }
        // File systems without record locks still work, unshared.
    }
    MdxFile& m_file;
};

// Brackets one change under the write lock: the counter is odd while pages are being written,
// so a reader that checks it without the lock knows to take the lock and read again. A change
// that fails half-way is never committed and leaves the counter odd, which only stops readers
// from trusting what they cached.
class MdxFile::Change {
public:
    explicit Change(MdxFile& file) : m_file(file) {
        uint32_t c = 0;
        m_file.readCounter(c);
        m_next = (c | 1) + 1;
        m_file.writeCounter(c | 1);
    }
    void commit() { m_file.writeCounter(m_next); }

private:
    MdxFile& m_file;
    uint32_t m_next = 0;
};

namespace mdx_detail {

struct Decoded {
    uint32_t page = 0;
    bool leaf = true;
    std::vector<Entry> entries;
    uint32_t rightmost = 0;
    bool dirty = false;

    uint32_t child(std::size_t i) const { return i < entries.size() ? entries[i].ptr : rightmost; }
};

inline Decoded decode(const MdxFile::Node& n, uint16_t keyLength) {
    Decoded d;
    d.page = n.page;
    d.leaf = n.leaf;
    d.entries.reserve(n.count + 1);
    for (uint32_t i = 0; i < n.count; ++i)
        d.entries.push_back(
            {n.ptr(i), std::string(reinterpret_cast<const char*>(n.key(i)), keyLength)});
    if (!n.leaf)
        d.rightmost = n.child(n.count);
    return d;
}

struct PathItem {
    Decoded node;
    std::size_t index = 0;
};

inline const uint8_t* bytes(const std::string& s) {
    return reinterpret_cast<const uint8_t*>(s.data());
}

inline std::vector<uint8_t> encodeNode(bool leaf, const std::vector<Entry>& entries,
                                       uint32_t rightmost, uint16_t group, uint16_t keyLength,
                                       uint32_t blockBytes) {
    std::vector<uint8_t> block(blockBytes, 0);
    le::put32(block.data() + kNodeCount, uint32_t(entries.size()));
    std::size_t off = kNodeEntries;
    for (const Entry& e : entries) {
        le::put32(block.data() + off, e.ptr);
        std::memcpy(block.data() + off + 4, e.key.data(),
                    std::min<std::size_t>(keyLength, e.key.size()));
        off += group;
    }
    le::put32(block.data() + off, leaf ? 0 : rightmost);
    return block;
}

} // namespace mdx_detail

} // namespace dbase
