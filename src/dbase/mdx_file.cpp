#include "dbase/mdx_file.h"

#include "dbase/database_error.h"
#include "dbase/file_io.h"
#include "dbase/little_endian.h"
#include "dbase/temporary_file.h"
#include "dbase/text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <map>
#include <numeric>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace dbase {

namespace {

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
constexpr std::size_t kPageSize = 512;
constexpr std::size_t kHeaderBytes = 2048;
constexpr uint32_t kFirstDataPage = 4;
constexpr std::size_t kHdrVersion = 0;
constexpr std::size_t kHdrCreated = 1;
constexpr std::size_t kHdrName = 4;
constexpr std::size_t kHdrNameLength = 16;
constexpr std::size_t kHdrBlockPages = 20;
constexpr std::size_t kHdrBlockBytes = 22;
constexpr std::size_t kHdrProduction = 24;
constexpr std::size_t kHdrSlotCount = 25;
constexpr std::size_t kHdrSlotLength = 26;
constexpr std::size_t kHdrTagsInUse = 28;
constexpr std::size_t kHdrLanguage = 31;
constexpr std::size_t kHdrPages = 32;
constexpr std::size_t kHdrUpdated = 44;
constexpr std::size_t kHdrChangeCounter = 48;
constexpr std::size_t kHdrPendingWrite = 52;
constexpr std::size_t kTagAreaMark = 529;
constexpr uint8_t kVersionDBase4 = 2;
constexpr uint8_t kVersionDBase7 = 3;
constexpr uint16_t kDefaultBlockPages = 2;
constexpr uint8_t kSlotCount = 48;
constexpr uint8_t kSlotLength = 32;

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
constexpr std::size_t kSlotsOffset = 544;
constexpr std::size_t kSlotHeaderPage = 0;
constexpr std::size_t kSlotName = 4;
constexpr std::size_t kSlotFormat = 15;
constexpr std::size_t kSlotLeft = 16;
constexpr std::size_t kSlotRight = 17;
constexpr std::size_t kSlotParent = 18;
constexpr std::size_t kSlotConstant = 19;
constexpr std::size_t kSlotKeyType = 20;

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
constexpr std::size_t kTagRoot = 0;
constexpr std::size_t kTagPagesUsed = 4;
constexpr std::size_t kTagFlags = 8;
constexpr std::size_t kTagKeyType = 9;
constexpr std::size_t kTagKeyLength = 12;
constexpr std::size_t kTagMaxKeys = 14;
constexpr std::size_t kTagDateFlag = 16;
constexpr std::size_t kTagGroupLength = 18;
constexpr std::size_t kTagVersion = 20;
constexpr std::size_t kTagExpression = 24;
constexpr std::size_t kTagForPresent = 245;
constexpr std::size_t kTagHasKeys = 246;
constexpr std::size_t kTagForExpression = 762;
constexpr std::size_t kExpressionLength = 220;
constexpr uint8_t kFlagBase = 0x10;
constexpr uint8_t kFlagDescending = 0x08;
constexpr uint8_t kFlagUnique = 0x40;

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
constexpr std::size_t kNodeCount = 0;
constexpr std::size_t kNodeEntries = 8;

constexpr int kMaxDepth = 32;
constexpr off_t kLockByte = 0xEFFFFFFE;

std::string upperName(std::string_view name) {
    return text::upper(name);
}

std::string cString(const uint8_t* p, std::size_t max) {
    std::size_t n = 0;
    while (n < max && p[n] != 0)
        ++n;
    return std::string(reinterpret_cast<const char*>(p), n);
}

uint16_t groupLengthFor(uint16_t keyLength) {
    return uint16_t((keyLength + 4 + 3) / 4 * 4);
}

void putDate(uint8_t* p) {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    p[0] = uint8_t(tm.tm_year);
    p[1] = uint8_t(tm.tm_mon + 1);
    p[2] = uint8_t(tm.tm_mday);
}

std::string errnoText() {
    return std::strerror(errno);
}

void writeAll(int fd, const uint8_t* data, std::size_t size, off_t offset,
              const std::string& path) {
    if (!io::writeAt(fd, data, size, uint64_t(offset)))
        throw DatabaseError("Cannot write the index \"" + path + "\": " + errnoText() + ".");
}

bool readAll(int fd, uint8_t* data, std::size_t size, off_t offset) {
    return io::readAt(fd, data, size, uint64_t(offset));
}

struct Entry {
    uint32_t ptr = 0; // record number in a leaf, child page in an interior node
    std::string key;
};

} // namespace

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

    const uint8_t* entry(uint32_t i) const { return block.data() + kNodeEntries + i * group; }
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
        fl.l_start = kLockByte;
        fl.l_len = 1;
        while (::fcntl(m_file.m_fd, F_OFD_SETLKW, &fl) < 0 && errno == EINTR) {
        }
        // File systems without record locks still work, unshared.
    }
    MdxFile& m_file;
};

void MdxKeySet::reserve(std::size_t n) {
    m_keys.reserve(n * m_keyLength);
    m_recnos.reserve(n);
}

void MdxKeySet::add(std::string_view key, uint32_t recno) {
    m_keys.insert(m_keys.end(), key.begin(), key.end());
    if (key.size() < m_keyLength)
        m_keys.insert(m_keys.end(), m_keyLength - key.size(), ' ');
    else if (key.size() > m_keyLength)
        m_keys.resize(m_keys.size() - (key.size() - m_keyLength));
    m_recnos.push_back(recno);
}

namespace {

// Buffered sequential writer of whole blocks.
class BlockSink {
public:
    BlockSink(int fd, uint32_t firstPage, uint32_t blockBytes, const std::string& path)
        : m_fd(fd), m_next(firstPage), m_blockBytes(blockBytes), m_path(path), m_start(firstPage) {}
    uint32_t nextPage() const { return m_next; }
    uint32_t put(const std::vector<uint8_t>& block) {
        const uint32_t page = m_next;
        m_buffer.insert(m_buffer.end(), block.begin(), block.end());
        m_next += m_blockBytes / kPageSize;
        if (m_buffer.size() >= (1u << 20))
            flush();
        return page;
    }
    void flush() {
        if (m_buffer.empty())
            return;
        writeAll(m_fd, m_buffer.data(), m_buffer.size(), off_t(m_start) * off_t(kPageSize), m_path);
        m_start = m_next;
        m_buffer.clear();
    }

private:
    int m_fd;
    uint32_t m_next;
    uint32_t m_blockBytes;
    const std::string& m_path;
    uint32_t m_start;
    std::vector<uint8_t> m_buffer;
};

struct TagLayout {
    uint16_t keyLength;
    uint16_t groupLength;
    uint16_t maxKeys;
};

TagLayout layoutFor(const MdxTagInfo& info, uint32_t blockBytes) {
    TagLayout l{};
    l.keyLength = info.keyLength;
    l.groupLength = groupLengthFor(info.keyLength);
    l.maxKeys = uint16_t((blockBytes - 12) / l.groupLength);
    return l;
}

std::vector<uint8_t> encodeNode(bool leaf, const std::vector<Entry>& entries, uint32_t rightmost,
                                uint16_t group, uint16_t keyLength, uint32_t blockBytes) {
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

std::vector<uint8_t> encodeTagHeader(const MdxTagInfo& info, const TagLayout& l, uint32_t root,
                                     uint32_t pagesUsed, uint32_t blockBytes) {
    std::vector<uint8_t> block(blockBytes, 0);
    uint8_t* p = block.data();
    le::put32(p + kTagRoot, root);
    le::put32(p + kTagPagesUsed, pagesUsed);
    p[kTagFlags] = uint8_t(kFlagBase | (info.descending ? kFlagDescending : 0) |
                           (info.unique ? kFlagUnique : 0));
    p[kTagKeyType] = uint8_t(info.keyType);
    le::put16(p + kTagKeyLength, l.keyLength);
    le::put16(p + kTagMaxKeys, l.maxKeys);
    le::put16(p + kTagDateFlag, info.keyType == KeyType::Date ? 1 : 0);
    le::put16(p + kTagGroupLength, l.groupLength);
    p[kTagVersion] = 1;
    std::memcpy(p + kTagExpression, info.expression.data(),
                std::min(info.expression.size(), kExpressionLength - 1));
    if (!info.forExpression.empty()) {
        p[kTagForPresent] = 1;
        std::memcpy(p + kTagForExpression, info.forExpression.data(),
                    std::min(info.forExpression.size(), kExpressionLength - 1));
    }
    p[kTagHasKeys] = 1;
    return block;
}

// Sorts the keys and writes the tag's nodes bottom-up, then its header block at headerPage.
// Leaves are filled completely, interior nodes to one key below the maximum.
// Returns the number of pages written (header included).
uint32_t writeTag(int fd, const std::string& path, const MdxTagInfo& info, const MdxKeySet& keys,
                  uint32_t headerPage, uint16_t blockPages) {
    const uint32_t blockBytes = uint32_t(blockPages) * kPageSize;
    const TagLayout l = layoutFor(info, blockBytes);
    MdxFile::TagState order;
    order.type = info.keyType;
    order.keyLength = info.keyLength;
    order.descending = info.descending;

    std::vector<uint32_t> sorted(keys.size());
    std::iota(sorted.begin(), sorted.end(), 0u);
    auto keyAt = [&](uint32_t i) { return reinterpret_cast<const uint8_t*>(keys.key(i).data()); };
    if (info.keyType == KeyType::Character && !info.descending) {
        std::sort(sorted.begin(), sorted.end(), [&](uint32_t a, uint32_t b) {
            const int c = std::memcmp(keyAt(a), keyAt(b), l.keyLength);
            return c != 0 ? c < 0 : keys.recno(a) < keys.recno(b);
        });
    } else {
        std::sort(sorted.begin(), sorted.end(), [&](uint32_t a, uint32_t b) {
            return order.compareEntry(keyAt(a), keys.recno(a), keyAt(b), keys.recno(b)) < 0;
        });
    }
    if (info.unique) {
        auto last = std::unique(sorted.begin(), sorted.end(), [&](uint32_t a, uint32_t b) {
            return order.compareKey(keyAt(a), keyAt(b)) == 0;
        });
        sorted.erase(last, sorted.end());
    }

    BlockSink sink(fd, headerPage + blockPages, blockBytes, path);
    struct Child {
        uint32_t page;
        std::string maxKey;
    };
    std::vector<Child> level;
    std::vector<Entry> entries;
    if (sorted.empty()) {
        level.push_back(
            {sink.put(encodeNode(true, {}, 0, l.groupLength, l.keyLength, blockBytes)), {}});
    }
    for (std::size_t i = 0; i < sorted.size(); i += l.maxKeys) {
        entries.clear();
        const std::size_t end = std::min(sorted.size(), i + l.maxKeys);
        for (std::size_t j = i; j < end; ++j)
            entries.push_back({keys.recno(sorted[j]), std::string(keys.key(sorted[j]))});
        const uint32_t page =
            sink.put(encodeNode(true, entries, 0, l.groupLength, l.keyLength, blockBytes));
        level.push_back({page, entries.back().key});
    }
    while (level.size() > 1) {
        const std::size_t fanout = l.maxKeys; // children per node: maxKeys - 1 keys + 1
        std::vector<std::size_t> sizes;
        for (std::size_t i = 0; i < level.size(); i += fanout)
            sizes.push_back(std::min(fanout, level.size() - i));
        if (sizes.size() > 1 && sizes.back() == 1) {
            --sizes[sizes.size() - 2];
            ++sizes.back();
        }
        std::vector<Child> parents;
        std::size_t at = 0;
        for (const std::size_t n : sizes) {
            entries.clear();
            for (std::size_t j = at; j + 1 < at + n; ++j)
                entries.push_back({level[j].page, level[j].maxKey});
            const Child& last = level[at + n - 1];
            const uint32_t page = sink.put(
                encodeNode(false, entries, last.page, l.groupLength, l.keyLength, blockBytes));
            parents.push_back({page, last.maxKey});
            at += n;
        }
        level = std::move(parents);
    }
    sink.flush();
    const uint32_t pagesUsed = sink.nextPage() - headerPage;
    const auto header = encodeTagHeader(info, l, level.front().page, pagesUsed, blockBytes);
    writeAll(fd, header.data(), header.size(), off_t(headerPage) * off_t(kPageSize), path);
    return pagesUsed;
}

struct SlotInfo {
    uint32_t headerPage;
    std::string name;
    KeyType type;
};

// Lays the tag table out again: names, key types and the binary tree of tag names.
void writeSlots(uint8_t* header, const std::vector<SlotInfo>& slots) {
    std::memset(header + kPageSize, 0, kHeaderBytes - kPageSize);
    header[kTagAreaMark] = 1;
    std::vector<int> left(slots.size(), 0), right(slots.size(), 0), parent(slots.size(), 0);
    for (std::size_t i = 1; i < slots.size(); ++i) {
        std::size_t at = 0;
        for (;;) {
            auto& next = slots[i].name < slots[at].name ? left[at] : right[at];
            if (next == 0) {
                next = int(i + 1);
                parent[i] = int(at + 1);
                break;
            }
            at = std::size_t(next - 1);
        }
    }
    for (std::size_t i = 0; i < slots.size(); ++i) {
        uint8_t* s = header + kSlotsOffset + i * kSlotLength;
        le::put32(s + kSlotHeaderPage, slots[i].headerPage);
        std::memcpy(s + kSlotName, slots[i].name.data(),
                    std::min(slots[i].name.size(), kMdxTagNameLength));
        s[kSlotFormat] = kFlagBase;
        s[kSlotLeft] = uint8_t(left[i]);
        s[kSlotRight] = uint8_t(right[i]);
        s[kSlotParent] = uint8_t(parent[i]);
        s[kSlotConstant] = 2;
        s[kSlotKeyType] = uint8_t(slots[i].type);
    }
}

void checkTagName(std::string_view name) {
    const bool ok = !name.empty() && name.size() <= kMdxTagNameLength &&
                    std::isalpha(static_cast<unsigned char>(name[0])) &&
                    std::all_of(name.begin(), name.end(), [](char c) {
                        return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
                    });
    if (!ok)
        throw DatabaseError("\"" + std::string(name) +
                            "\" is not a valid tag name (1 to 10 letters, digits or _, "
                            "starting with a letter).");
}

} // namespace

void MdxFile::checkTagInfo(const MdxTagInfo& info) {
    checkTagName(info.name);
    const bool ok =
        (info.keyType == KeyType::Character && info.keyLength >= 1 && info.keyLength <= 100) ||
        (info.keyType == KeyType::Numeric && info.keyLength == 12) ||
        (info.keyType == KeyType::Date && info.keyLength == 8);
    if (!ok)
        throw DatabaseError("The tag \"" + info.name + "\" has an invalid key length.");
    if (info.expression.empty() || info.expression.size() >= kExpressionLength)
        throw DatabaseError("The key expression of tag \"" + info.name +
                            "\" must be 1 to 219 characters.");
}

namespace {

mode_t newFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// Writes a whole index into a temporary file beside path and moves it over path.
void writeWholeFile(const std::string& path, std::string_view tableName, uint8_t language,
                    const uint8_t* createdDate, std::vector<MdxTagBuild>& tags,
                    const std::function<void()>& beforeReplacing = {}) {
    if (tags.size() > kMdxMaxTags)
        throw DatabaseError("The index \"" + path + "\" cannot hold more than 47 tags.");
    for (const auto& t : tags)
        MdxFile::checkTagInfo(t.info);
    std::filesystem::path tempPath;
    const int fd = temporary::create(path, "index", tempPath);
    const std::string temp = tempPath.string();
    if (fd < 0)
        throw DatabaseError("Cannot create the index \"" + path + "\": " + errnoText() + ".");
    try {
        struct stat old {};
        ::fchmod(fd, ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : newFileMode());
        std::vector<uint8_t> header(kHeaderBytes, 0);
        uint8_t* h = header.data();
        h[kHdrVersion] = kVersionDBase4;
        if (createdDate)
            std::memcpy(h + kHdrCreated, createdDate, 3);
        else
            putDate(h + kHdrCreated);
        std::memcpy(h + kHdrName, tableName.data(), std::min(tableName.size(), kHdrNameLength));
        le::put16(h + kHdrBlockPages, kDefaultBlockPages);
        le::put16(h + kHdrBlockBytes, uint16_t(kDefaultBlockPages * kPageSize));
        h[kHdrProduction] = 1;
        h[kHdrSlotCount] = kSlotCount;
        h[kHdrSlotLength] = kSlotLength;
        le::put16(h + kHdrTagsInUse, uint16_t(tags.size()));
        h[kHdrLanguage] = language;
        putDate(h + kHdrUpdated);

        std::vector<SlotInfo> slots;
        uint32_t page = kFirstDataPage;
        for (auto& t : tags) {
            t.info.name = upperName(t.info.name);
            slots.push_back({page, t.info.name, t.info.keyType});
            page += writeTag(fd, path, t.info, t.keys, page, kDefaultBlockPages);
        }
        le::put32(h + kHdrPages, page);
        writeSlots(h, slots);
        writeAll(fd, h, header.size(), 0, path);
        if (!io::sync(fd))
            throw DatabaseError("Cannot write the index \"" + path + "\": " + errnoText() + ".");
        ::close(fd);
        if (beforeReplacing)
            beforeReplacing();
        if (::rename(temp.c_str(), path.c_str()) != 0)
            throw DatabaseError("Cannot replace the index \"" + path + "\": " + errnoText() + ".");
    } catch (...) {
        ::close(fd);
        ::unlink(temp.c_str());
        throw;
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------

MdxFile::MdxFile(std::string path, int fd, bool writable)
    : m_path(std::move(path)), m_fd(fd), m_writable(writable) {}

MdxFile::~MdxFile() {
    if (m_fd >= 0)
        ::close(m_fd);
}

void MdxFile::damaged(const std::string& why) const {
    throw DatabaseError("The index \"" + m_path + "\" is damaged: " + why +
                        ".  Regenerate the indexes to repair it.");
}

std::unique_ptr<MdxFile> MdxFile::create(const std::string& path, std::string_view tableName,
                                         uint8_t languageDriver, std::vector<MdxTagBuild> tags) {
    writeWholeFile(path, tableName, languageDriver, nullptr, tags);
    return open(path, true);
}

std::vector<MdxTagInfo> MdxFile::salvageTags(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw DatabaseError("Cannot open the index \"" + path + "\": " + errnoText() + ".");
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    std::vector<uint8_t> h(kHeaderBytes);
    if (::fstat(fd, &st) != 0 || !readAll(fd, h.data(), h.size(), 0))
        throw DatabaseError("The index \"" + path +
                            "\" is damaged beyond repair: its tag table cannot be read.  "
                            "Delete it and add its tags again.");
    const uint64_t size = uint64_t(st.st_size);
    const std::size_t count = std::min<std::size_t>(le::u16(h.data() + kHdrTagsInUse), kMdxMaxTags);
    std::vector<MdxTagInfo> out;
    std::vector<uint8_t> block(kPageSize * kDefaultBlockPages);
    for (std::size_t i = 0; i < count; ++i) {
        const uint8_t* slot = h.data() + kSlotsOffset + i * kSlotLength;
        MdxTagInfo t;
        t.name = cString(slot + kSlotName, kMdxTagNameLength + 1);
        const uint64_t page = le::u32(slot + kSlotHeaderPage);
        if (t.name.empty() || page < kFirstDataPage || (page + 1) * kPageSize > size)
            continue;
        // The expression and its FOR condition lie in the first 982 bytes of the header block.
        std::fill(block.begin(), block.end(), 0);
        if (!readAll(fd, block.data(), std::min<uint64_t>(block.size(), size - page * kPageSize),
                     off_t(page * kPageSize)))
            continue;
        t.expression = cString(block.data() + kTagExpression, kExpressionLength);
        if (block[kTagForPresent] == 1)
            t.forExpression = cString(block.data() + kTagForExpression, kExpressionLength);
        t.descending = (block[kTagFlags] & kFlagDescending) != 0;
        t.unique = (block[kTagFlags] & kFlagUnique) != 0;
        if (!t.expression.empty())
            out.push_back(std::move(t));
    }
    if (out.empty())
        throw DatabaseError("The index \"" + path +
                            "\" is damaged beyond repair: none of its tags can be read.  "
                            "Delete it and add its tags again.");
    return out;
}

std::unique_ptr<MdxFile> MdxFile::open(const std::string& path, bool writable) {
    const int fd = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (fd < 0)
        throw DatabaseError("Cannot open the index \"" + path + "\": " + errnoText() + ".");
    std::unique_ptr<MdxFile> file(new MdxFile(path, fd, writable));
    Lock lock(*file, false);
    const Header header = file->readHeader();
    file->resolveTag(header, {}); // checks every tag header
    file->m_header.map(file->m_fd, kHeaderBytes);
    return file;
}

void MdxFile::reopenIfReplaced() {
    const int fd = ::open(m_path.c_str(), (m_writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (fd < 0)
        throw DatabaseError("The index \"" + m_path + "\" is missing: " + errnoText() + ".");
    ::close(m_fd);
    m_fd = fd;
    ++m_generation;
    m_header.unmap();
    struct stat st {};
    if (::fstat(m_fd, &st) == 0 && uint64_t(st.st_size) >= kHeaderBytes)
        m_header.map(m_fd, kHeaderBytes);
}

MdxFile::Header MdxFile::readHeader() {
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        throw DatabaseError("Cannot read the index \"" + m_path + "\": " + errnoText() + ".");
    if (std::size_t(st.st_size) < kHeaderBytes)
        damaged("it is shorter than its header");
    Header h;
    h.bytes.resize(kHeaderBytes);
    if (!readAll(m_fd, h.bytes.data(), kHeaderBytes, 0))
        damaged("its header cannot be read");
    const uint8_t* b = h.bytes.data();
    if (b[kHdrVersion] != kVersionDBase4 && b[kHdrVersion] != kVersionDBase7)
        damaged("unknown version " + std::to_string(b[kHdrVersion]));
    h.blockPages = le::u16(b + kHdrBlockPages);
    h.blockBytes = le::u16(b + kHdrBlockBytes);
    if (h.blockPages < 1 || h.blockPages > 63 || h.blockBytes != h.blockPages * kPageSize)
        damaged("the block size in its header is invalid");
    if (b[kHdrSlotLength] != kSlotLength)
        damaged("the tag table entry length is invalid");
    h.tagCount = le::u16(b + kHdrTagsInUse);
    if (h.tagCount > kMdxMaxTags || h.tagCount > b[kHdrSlotCount])
        damaged("it claims " + std::to_string(h.tagCount) + " tags");
    h.pages = le::u32(b + kHdrPages);
    if (h.pages < kFirstDataPage || uint64_t(h.pages) * kPageSize > uint64_t(st.st_size))
        damaged("its header gives " + std::to_string(h.pages) + " pages but the file holds " +
                std::to_string(uint64_t(st.st_size) / kPageSize));
    return h;
}

MdxFile::TagState MdxFile::resolveTag(const Header& h, std::string_view name) {
    const std::string wanted = upperName(name);
    for (std::size_t i = 0; i < h.tagCount; ++i) {
        const uint8_t* s = h.bytes.data() + kSlotsOffset + i * kSlotLength;
        const std::string slotName = cString(s + kSlotName, kMdxTagNameLength + 1);
        if (!wanted.empty() && upperName(slotName) != wanted)
            continue;
        TagState t;
        t.slot = i;
        t.name = slotName;
        t.headerPage = le::u32(s + kSlotHeaderPage);
        t.blockPages = h.blockPages;
        t.blockBytes = h.blockBytes;
        t.pages = h.pages;
        if (slotName.empty())
            damaged("tag " + std::to_string(i + 1) + " has no name");
        if (t.headerPage < kFirstDataPage || uint64_t(t.headerPage) + h.blockPages > h.pages)
            damaged("the header of tag " + slotName + " lies outside the file");
        std::vector<uint8_t> block(h.blockBytes);
        if (!readAll(m_fd, block.data(), block.size(), off_t(t.headerPage) * off_t(kPageSize)))
            damaged("the header of tag " + slotName + " cannot be read");
        const uint8_t* p = block.data();
        t.root = le::u32(p + kTagRoot);
        t.descending = (p[kTagFlags] & kFlagDescending) != 0;
        t.unique = (p[kTagFlags] & kFlagUnique) != 0;
        t.keyLength = le::u16(p + kTagKeyLength);
        t.maxKeys = le::u16(p + kTagMaxKeys);
        t.groupLength = le::u16(p + kTagGroupLength);
        t.expression = cString(p + kTagExpression, kExpressionLength);
        if (p[kTagForPresent])
            t.forExpression = cString(p + kTagForExpression, kExpressionLength);
        const char type = char(p[kTagKeyType]);
        if (type == 'C')
            t.type = KeyType::Character;
        else if (type == 'N' || type == 'F')
            t.type = KeyType::Numeric;
        else if (type == 'D')
            t.type = KeyType::Date;
        else
            damaged("tag " + slotName + " has the unknown key type " +
                    std::to_string(p[kTagKeyType]));
        const bool lengthOk = t.type == KeyType::Character
                                  ? (t.keyLength >= 1 && t.keyLength <= 240)
                              : t.type == KeyType::Numeric ? t.keyLength == 12
                                                           : t.keyLength == 8;
        if (!lengthOk || t.groupLength != groupLengthFor(t.keyLength) || t.maxKeys < 3 ||
            kNodeEntries + std::size_t(t.maxKeys) * t.groupLength + 4 > h.blockBytes)
            damaged("the key layout of tag " + slotName + " is invalid");
        if (t.root < kFirstDataPage || uint64_t(t.root) + h.blockPages > h.pages)
            damaged("the root of tag " + slotName + " lies outside the file");
        if (t.expression.empty())
            damaged("tag " + slotName + " has no key expression");
        if (!wanted.empty())
            return t;
        if (i + 1 == h.tagCount)
            return t;
    }
    if (wanted.empty())
        return {};
    throw DatabaseError("The index \"" + m_path + "\" has no tag \"" + std::string(name) + "\".");
}

MdxFile::Node MdxFile::readNode(const Header& h, const TagState& t, uint32_t page) {
    checkPage(h, t, page);
    Node n;
    n.page = page;
    n.group = t.groupLength;
    n.block.resize(t.blockBytes);
    if (!readAll(m_fd, n.block.data(), n.block.size(), off_t(page) * off_t(kPageSize)))
        damaged("page " + std::to_string(page) + " cannot be read");
    finishNode(t, n);
    return n;
}

void MdxFile::checkPage(const Header& h, const TagState& t, uint32_t page) const {
    if (page < kFirstDataPage || uint64_t(page) + t.blockPages > h.pages)
        damaged("tag " + t.name + " points at page " + std::to_string(page) + ", outside the file");
}

void MdxFile::finishNode(const TagState& t, Node& n) const {
    n.count = le::u32(n.block.data() + kNodeCount);
    if (n.count > t.maxKeys)
        damaged("page " + std::to_string(n.page) + " of tag " + t.name + " claims " +
                std::to_string(n.count) + " keys");
    n.leaf = le::u32(n.block.data() + kNodeEntries + n.count * t.groupLength) == 0;
}

// Reads the nodes at pages, in their order, a batch at a time: each batch is read in page
// order with one system call per run of neighbouring pages (a tree built in one go lies in
// key order on disk, so a batch is mostly one read).
void MdxFile::forEachNode(const Header& h, const TagState& t, const std::vector<uint32_t>& pages,
                          const std::function<void(const Node&)>& fn) {
    constexpr std::size_t kBatch = 1024;
    std::vector<uint32_t> sorted;
    std::vector<uint8_t> buffer;
    std::vector<std::pair<uint32_t, std::size_t>> where; // page, offset in buffer
    Node n;
    n.group = t.groupLength;
    n.block.resize(t.blockBytes);
    for (std::size_t from = 0; from < pages.size(); from += kBatch) {
        const std::size_t to = std::min(pages.size(), from + kBatch);
        sorted.assign(pages.begin() + long(from), pages.begin() + long(to));
        std::sort(sorted.begin(), sorted.end());
        sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
        buffer.resize(sorted.size() * t.blockBytes);
        where.clear();
        for (std::size_t i = 0; i < sorted.size();) {
            checkPage(h, t, sorted[i]);
            std::size_t j = i + 1;
            while (j < sorted.size() && sorted[j] == sorted[j - 1] + t.blockPages)
                ++j;
            const std::size_t at = where.size() * t.blockBytes;
            if (!readAll(m_fd, buffer.data() + at, (j - i) * t.blockBytes,
                         off_t(sorted[i]) * off_t(kPageSize)))
                damaged("page " + std::to_string(sorted[i]) + " cannot be read");
            for (std::size_t k = i; k < j; ++k)
                where.emplace_back(sorted[k], (where.size()) * t.blockBytes);
            i = j;
        }
        for (std::size_t i = from; i < to; ++i) {
            const auto it = std::lower_bound(where.begin(), where.end(),
                                             std::make_pair(pages[i], std::size_t(0)));
            std::memcpy(n.block.data(), buffer.data() + it->second, t.blockBytes);
            n.page = pages[i];
            finishNode(t, n);
            fn(n);
        }
    }
}

std::vector<uint32_t> MdxFile::recordNumbers(std::string_view tagName) {
    Lock lock(*this, false);
    const Header h = readHeader();
    const TagState tag = resolveTag(h, tagName);
    std::vector<bool> seen(h.pages, false);
    std::vector<uint32_t> level{tag.root};
    std::vector<uint32_t> out;
    for (int depth = 0; !level.empty(); ++depth) {
        if (depth > kMaxDepth)
            damaged("tag " + tag.name + " is deeper than " + std::to_string(kMaxDepth) + " levels");
        for (const uint32_t page : level) {
            checkPage(h, tag, page);
            if (seen[page])
                damaged("tag " + tag.name + " reaches page " + std::to_string(page) + " twice");
            seen[page] = true;
        }
        std::vector<uint32_t> below;
        int leaves = 0;
        forEachNode(h, tag, level, [&](const Node& n) {
            if (n.leaf) {
                ++leaves;
                for (uint32_t i = 0; i < n.count; ++i) {
                    if (n.ptr(i) == 0)
                        damaged("tag " + tag.name + " names record 0");
                    out.push_back(n.ptr(i));
                }
                return;
            }
            for (uint32_t i = 0; i <= n.count; ++i)
                below.push_back(n.child(i));
        });
        // Every leaf of a B-tree lies at the same depth; one that does not would put its
        // entries out of order.
        if (leaves != 0 && !below.empty())
            damaged("the leaves of tag " + tag.name + " lie at different depths");
        level = std::move(below);
    }
    return out;
}

bool MdxFile::readCounter(uint32_t& value) const {
    // Read at every step of a walk: through the mapped header when there is one, which costs
    // no system call.
    uint8_t b[4];
    if (!m_header.copy(b, kHdrChangeCounter, 4) && !readAll(m_fd, b, 4, kHdrChangeCounter))
        return false;
    value = le::u32(b);
    return true;
}

void MdxFile::writeCounter(uint32_t value) {
    uint8_t b[4];
    le::put32(b, value);
    writeAll(m_fd, b, 4, kHdrChangeCounter, m_path);
}

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

uint32_t MdxFile::pendingWrite() {
    uint8_t b[4];
    Lock lock(*this, false);
    if (!readAll(m_fd, b, 4, kHdrPendingWrite))
        return 0;
    return le::u32(b);
}

void MdxFile::setPendingWrite(uint32_t recNo) {
    if (!m_writable)
        throw DatabaseError("The index \"" + m_path + "\" is open read-only.");
    uint8_t b[4];
    le::put32(b, recNo);
    Lock lock(*this, true);
    writeAll(m_fd, b, 4, kHdrPendingWrite, m_path);
}

void MdxFile::retire() {
    if (!m_writable)
        return;
    Lock lock(*this, true);
    uint32_t c = 0;
    readCounter(c);
    writeCounter(c | 1);
}

std::vector<MdxTagInfo> MdxFile::tags() {
    // Unchanged since the last look: no need to read the tag headers again.
    uint32_t counter = 0;
    if (m_tagsCached && m_tagsGeneration == m_generation && readCounter(counter) &&
        counter == m_tagsCounter)
        return m_tagsCache;
    Lock lock(*this, false);
    const Header h = readHeader();
    std::vector<MdxTagInfo> out;
    for (std::size_t i = 0; i < h.tagCount; ++i) {
        const uint8_t* s = h.bytes.data() + kSlotsOffset + i * kSlotLength;
        out.push_back(resolveTag(h, cString(s + kSlotName, kMdxTagNameLength + 1)).info());
    }
    m_tagsCached = readCounter(counter) && counter % 2 == 0;
    m_tagsCounter = counter;
    m_tagsGeneration = m_generation;
    m_tagsCache = out;
    return out;
}

std::optional<MdxTagInfo> MdxFile::findTag(std::string_view name) {
    for (auto& t : tags())
        if (upperName(t.name) == upperName(name))
            return t;
    return std::nullopt;
}

// ---------------------------------------------------------------------------------------------
// Tree changes

namespace {

struct Decoded {
    uint32_t page = 0;
    bool leaf = true;
    std::vector<Entry> entries;
    uint32_t rightmost = 0;
    bool dirty = false;

    uint32_t child(std::size_t i) const { return i < entries.size() ? entries[i].ptr : rightmost; }
};

Decoded decode(const MdxFile::Node& n, uint16_t keyLength) {
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

const uint8_t* bytes(const std::string& s) {
    return reinterpret_cast<const uint8_t*>(s.data());
}

} // namespace

namespace {

// One change to a tag: the path from the root to a leaf, new pages and the writes they need.
class TreeEdit {
public:
    TreeEdit(MdxFile& file, MdxFile::Header& header, const MdxFile::TagState& tag,
             std::function<MdxFile::Node(uint32_t)> read)
        : m_file(file), m_header(header), m_tag(tag), m_read(std::move(read)) {}

    // The highest entry below page, or nothing for an empty subtree.
    bool maxEntry(uint32_t page, std::string& key, uint32_t& recno) {
        for (int depth = 0; depth < kMaxDepth; ++depth) {
            const MdxFile::Node n = m_read(page);
            if (n.leaf) {
                if (n.count == 0)
                    return false;
                key.assign(reinterpret_cast<const char*>(n.key(n.count - 1)), m_tag.keyLength);
                recno = n.ptr(n.count - 1);
                return true;
            }
            page = n.child(n.count);
        }
        m_file.damaged("tag " + m_tag.name + " is deeper than " + std::to_string(kMaxDepth) +
                       " levels");
    }

    // Fills the path to the leaf position of the first entry not below (key, recno).
    void descend(const std::string& key, uint32_t recno) {
        m_path.clear();
        uint32_t page = m_tag.root;
        const uint8_t* k = bytes(key);
        for (int depth = 0;; ++depth) {
            if (depth >= kMaxDepth)
                m_file.damaged("tag " + m_tag.name + " is deeper than " +
                               std::to_string(kMaxDepth) + " levels");
            PathItem item{decode(m_read(page), m_tag.keyLength), 0};
            auto& es = item.node.entries;
            if (item.node.leaf) {
                item.index = std::size_t(std::partition_point(es.begin(), es.end(),
                                                              [&](const Entry& e) {
                                                                  return m_tag.compareEntry(
                                                                             bytes(e.key), e.ptr, k,
                                                                             recno) < 0;
                                                              }) -
                                         es.begin());
                m_path.push_back(std::move(item));
                return;
            }
            auto lo = std::partition_point(es.begin(), es.end(), [&](const Entry& e) {
                return m_tag.compareKey(bytes(e.key), k) < 0;
            });
            auto hi = std::partition_point(lo, es.end(), [&](const Entry& e) {
                return m_tag.compareKey(bytes(e.key), k) <= 0;
            });
            std::size_t chosen = std::size_t(hi - es.begin());
            if (lo != hi) {
                // Children whose highest key equals the key: pick by their highest entry.
                auto below = [&](std::size_t i) {
                    std::string mk;
                    uint32_t mr = 0;
                    if (!maxEntry(item.node.child(i), mk, mr))
                        return true;
                    return m_tag.compareEntry(bytes(mk), mr, k, recno) < 0;
                };
                std::size_t a = std::size_t(lo - es.begin());
                std::size_t b = std::size_t(hi - es.begin());
                if (!below(b - 1)) {
                    while (a < b - 1) {
                        const std::size_t mid = a + (b - 1 - a) / 2;
                        if (below(mid))
                            a = mid + 1;
                        else
                            b = mid + 1;
                    }
                    chosen = a;
                }
            }
            item.index = chosen;
            page = item.node.child(chosen);
            m_path.push_back(std::move(item));
        }
    }

    std::vector<PathItem>& path() { return m_path; }

    // After the bottom node's highest entry changed at `level`, carries the new highest key
    // up to the first ancestor that stores it.
    void carryMax(std::size_t level, const std::string& newMax) {
        while (level > 0) {
            PathItem& parent = m_path[level - 1];
            if (parent.index < parent.node.entries.size()) {
                if (parent.node.entries[parent.index].key != newMax) {
                    parent.node.entries[parent.index].key = newMax;
                    parent.node.dirty = true;
                }
                return;
            }
            --level;
        }
    }

    uint32_t allocate(Decoded node) {
        node.page = m_header.pages;
        m_header.pages += m_header.blockPages;
        m_fresh.push_back(std::move(node));
        return m_fresh.back().page;
    }

    // Splits overfull nodes from the bottom up; the root keeps its page.
    void splitOverfull() {
        for (std::size_t level = m_path.size(); level-- > 0;) {
            Decoded& node = m_path[level].node;
            const std::size_t limit = node.leaf ? m_tag.maxKeys : std::size_t(m_tag.maxKeys) - 1;
            if (node.entries.size() <= limit)
                continue;
            Decoded lower;
            lower.leaf = node.leaf;
            std::string lowerMax;
            if (node.leaf) {
                const std::size_t h = node.entries.size() / 2;
                lower.entries.assign(node.entries.begin(), node.entries.begin() + long(h));
                node.entries.erase(node.entries.begin(), node.entries.begin() + long(h));
                lowerMax = lower.entries.back().key;
            } else {
                const std::size_t children = node.entries.size() + 1;
                const std::size_t h = children / 2; // children going to the lower node
                lower.entries.assign(node.entries.begin(), node.entries.begin() + long(h - 1));
                lower.rightmost = node.entries[h - 1].ptr;
                lowerMax = node.entries[h - 1].key;
                node.entries.erase(node.entries.begin(), node.entries.begin() + long(h));
            }
            node.dirty = true;
            if (level == 0) {
                Decoded upper = node;
                const uint32_t lowerPage = allocate(std::move(lower));
                const uint32_t upperPage = allocate(std::move(upper));
                node.leaf = false;
                node.entries = {Entry{lowerPage, lowerMax}};
                node.rightmost = upperPage;
                return;
            }
            const uint32_t lowerPage = allocate(std::move(lower));
            PathItem& parent = m_path[level - 1];
            parent.node.entries.insert(parent.node.entries.begin() + long(parent.index),
                                       Entry{lowerPage, lowerMax});
            ++parent.index;
            parent.node.dirty = true;
        }
    }

    // Unlinks the node at path level + 1 from the node at `level`, which may empty in turn.
    void unlinkChild(std::size_t level) {
        for (;;) {
            m_path[level + 1].node.dirty = false; // its page is abandoned
            PathItem& item = m_path[level];
            Decoded& node = item.node;
            node.dirty = true;
            if (item.index < node.entries.size()) {
                node.entries.erase(node.entries.begin() + long(item.index));
                return;
            }
            if (!node.entries.empty()) {
                node.rightmost = node.entries.back().ptr;
                const std::string newMax = node.entries.back().key;
                node.entries.pop_back();
                carryMax(level, newMax);
                return;
            }
            if (level == 0) {
                node.leaf = true;
                node.rightmost = 0;
                return;
            }
            --level;
        }
    }

    // New pages first (nothing points at them yet), then changed pages from the root down,
    // then the file header with the new page count.
    void write(const std::string& path, int fd, uint32_t pagesBefore) {
        auto encode = [&](const Decoded& d) {
            return encodeNode(d.leaf, d.entries, d.rightmost, m_tag.groupLength, m_tag.keyLength,
                              m_tag.blockBytes);
        };
        for (const Decoded& d : m_fresh) {
            const auto block = encode(d);
            writeAll(fd, block.data(), block.size(), off_t(d.page) * off_t(kPageSize), path);
        }
        for (const PathItem& item : m_path) {
            if (!item.node.dirty)
                continue;
            const auto block = encode(item.node);
            writeAll(fd, block.data(), block.size(), off_t(item.node.page) * off_t(kPageSize),
                     path);
        }
        if (m_header.pages != pagesBefore) {
            uint8_t head[kPageSize];
            std::memcpy(head, m_header.bytes.data(), kPageSize);
            le::put32(head + kHdrPages, m_header.pages);
            le::put32(head + kHdrChangeCounter,
                      le::u32(m_header.bytes.data() + kHdrChangeCounter) | 1);
            putDate(head + kHdrUpdated);
            writeAll(fd, head, kPageSize, 0, path);
        }
    }

private:
    MdxFile& m_file;
    MdxFile::Header& m_header;
    const MdxFile::TagState& m_tag;
    std::function<MdxFile::Node(uint32_t)> m_read;
    std::vector<PathItem> m_path;
    std::vector<Decoded> m_fresh;
};

} // namespace

void MdxFile::insertKey(std::string_view tagName, std::string_view key, uint32_t recno) {
    if (!m_writable)
        throw DatabaseError("The index \"" + m_path + "\" is open read-only.");
    Lock lock(*this, true);
    Header h = readHeader();
    const TagState tag = resolveTag(h, tagName);
    if (key.size() != tag.keyLength)
        throw DatabaseError("A key of " + std::to_string(key.size()) + " bytes does not fit tag " +
                            tag.name + " of the index \"" + m_path + "\".");
    const std::string k(key);
    TreeEdit edit(*this, h, tag, [&](uint32_t page) { return readNode(h, tag, page); });
    if (tag.unique) {
        edit.descend(k, 0);
        const PathItem& leaf = edit.path().back();
        if (leaf.index < leaf.node.entries.size() &&
            tag.compareKey(bytes(leaf.node.entries[leaf.index].key), bytes(k)) == 0)
            return;
    }
    edit.descend(k, recno);
    auto& path = edit.path();
    PathItem& leaf = path.back();
    auto& es = leaf.node.entries;
    if (leaf.index < es.size() && es[leaf.index].ptr == recno &&
        tag.compareKey(bytes(es[leaf.index].key), bytes(k)) == 0)
        return;
    const bool newMax = leaf.index == es.size();
    es.insert(es.begin() + long(leaf.index), Entry{recno, k});
    leaf.node.dirty = true;
    if (newMax)
        edit.carryMax(path.size() - 1, k);
    const uint32_t pagesBefore = h.pages;
    edit.splitOverfull();
    Change change(*this);
    edit.write(m_path, m_fd, pagesBefore);
    change.commit();
}

bool MdxFile::removeKey(std::string_view tagName, std::string_view key, uint32_t recno) {
    if (!m_writable)
        throw DatabaseError("The index \"" + m_path + "\" is open read-only.");
    Lock lock(*this, true);
    Header h = readHeader();
    const TagState tag = resolveTag(h, tagName);
    if (key.size() != tag.keyLength)
        return false;
    const std::string k(key);
    TreeEdit edit(*this, h, tag, [&](uint32_t page) { return readNode(h, tag, page); });
    edit.descend(k, recno);
    auto& path = edit.path();
    PathItem& leaf = path.back();
    auto& es = leaf.node.entries;
    if (leaf.index >= es.size() || es[leaf.index].ptr != recno ||
        tag.compareKey(bytes(es[leaf.index].key), bytes(k)) != 0)
        return false;
    const bool wasMax = leaf.index + 1 == es.size();
    es.erase(es.begin() + long(leaf.index));
    leaf.node.dirty = true;
    if (es.empty() && path.size() > 1)
        edit.unlinkChild(path.size() - 2);
    else if (wasMax && !es.empty())
        edit.carryMax(path.size() - 1, es.back().key);
    Change change(*this);
    edit.write(m_path, m_fd, h.pages);
    change.commit();
    return true;
}

void MdxFile::addTag(MdxTagBuild build) {
    if (!m_writable)
        throw DatabaseError("The index \"" + m_path + "\" is open read-only.");
    MdxFile::checkTagInfo(build.info);
    build.info.name = upperName(build.info.name);
    Lock lock(*this, true);
    Header h = readHeader();
    std::vector<SlotInfo> slots;
    for (std::size_t i = 0; i < h.tagCount; ++i) {
        const uint8_t* s = h.bytes.data() + kSlotsOffset + i * kSlotLength;
        const std::string name = cString(s + kSlotName, kMdxTagNameLength + 1);
        if (upperName(name) == build.info.name)
            throw DatabaseError("The index \"" + m_path + "\" already has a tag \"" +
                                build.info.name + "\".");
        slots.push_back({le::u32(s + kSlotHeaderPage), name, KeyType(s[kSlotKeyType])});
    }
    if (slots.size() >= kMdxMaxTags)
        throw DatabaseError("The index \"" + m_path + "\" cannot hold more than 47 tags.");
    if (h.blockPages != kDefaultBlockPages)
        throw DatabaseError("The index \"" + m_path +
                            "\" uses another block size; regenerate it before adding a tag.");
    Change change(*this);
    const uint32_t headerPage = h.pages;
    const uint32_t used = writeTag(m_fd, m_path, build.info, build.keys, headerPage, h.blockPages);
    slots.push_back({headerPage, build.info.name, build.info.keyType});
    writeSlots(h.bytes.data(), slots);
    uint8_t* b = h.bytes.data();
    le::put16(b + kHdrTagsInUse, uint16_t(slots.size()));
    le::put32(b + kHdrPages, headerPage + used);
    putDate(b + kHdrUpdated);
    uint32_t counter = 0;
    readCounter(counter);
    le::put32(b + kHdrChangeCounter, counter);
    // Tag table before the page holding the tag count, so the count never names a slot
    // that is not there yet.
    writeAll(m_fd, b + kPageSize, kHeaderBytes - kPageSize, kPageSize, m_path);
    writeAll(m_fd, b, kPageSize, 0, m_path);
    change.commit();
}

void MdxFile::deleteTag(std::string_view name) {
    if (!m_writable)
        throw DatabaseError("The index \"" + m_path + "\" is open read-only.");
    rewriteWithout(name);
}

void MdxFile::withWriteLock(const std::function<void()>& fn) {
    if (!m_writable)
        throw DatabaseError("The index \"" + m_path + "\" is open read-only.");
    Lock lock(*this, true);
    fn();
}

void MdxFile::rebuild(std::string_view tableName, uint8_t languageDriver,
                      std::vector<MdxTagBuild> tags) {
    if (!m_writable)
        throw DatabaseError("The index \"" + m_path + "\" is open read-only.");
    Lock lock(*this, true);
    // Keep the creation date when the old header still holds a plausible one.
    uint8_t created[3] = {};
    bool haveOld = false;
    if (readAll(m_fd, created, 3, kHdrCreated))
        haveOld = created[1] >= 1 && created[1] <= 12 && created[2] >= 1 && created[2] <= 31;
    writeWholeFile(m_path, tableName, languageDriver, haveOld ? created : nullptr, tags,
                   [this] { retire(); });
    reopenIfReplaced();
}

void MdxFile::rewriteWithout(std::string_view name) {
    Lock lock(*this, true);
    Header h = readHeader();
    resolveTag(h, name); // throws when there is no such tag
    std::vector<MdxTagBuild> keep;
    for (const MdxTagInfo& info : tags()) {
        if (upperName(info.name) == upperName(name))
            continue;
        MdxTagBuild build{info, MdxKeySet(info.keyLength)};
        for (auto& [key, recno] : verifyTag(info.name, UINT32_MAX))
            build.keys.add(key, recno);
        keep.push_back(std::move(build));
    }
    const std::string tableName = cString(h.bytes.data() + kHdrName, kHdrNameLength);
    writeWholeFile(m_path, tableName, h.bytes[kHdrLanguage], h.bytes.data() + kHdrCreated, keep,
                   [this] { retire(); });
    reopenIfReplaced();
}

std::vector<std::pair<std::string, uint32_t>> MdxFile::verifyTag(std::string_view tagName,
                                                                 uint32_t recordCount) {
    Lock lock(*this, false);
    const Header h = readHeader();
    const TagState tag = resolveTag(h, tagName);
    std::vector<std::pair<std::string, uint32_t>> out;
    std::unordered_set<uint32_t> seen;
    // Walks a subtree; every key in it must lie within (low, high].
    std::function<void(uint32_t, int, const std::string*, const std::string*)> walk =
        [&](uint32_t page, int depth, const std::string* low, const std::string* high) {
            if (depth > kMaxDepth || !seen.insert(page).second)
                damaged("tag " + tag.name + " reaches page " + std::to_string(page) + " twice");
            const Node n = readNode(h, tag, page);
            auto checkBounds = [&](const uint8_t* key) {
                if ((low && tag.compareKey(key, bytes(*low)) < 0) ||
                    (high && tag.compareKey(key, bytes(*high)) > 0))
                    damaged("the keys of tag " + tag.name + " are out of order on page " +
                            std::to_string(page));
            };
            if (n.leaf) {
                for (uint32_t i = 0; i < n.count; ++i) {
                    const uint32_t recno = n.ptr(i);
                    if (recno == 0 || recno > recordCount)
                        damaged("tag " + tag.name + " names record " + std::to_string(recno) +
                                ", past the end of the table");
                    checkBounds(n.key(i));
                    if (!out.empty() && tag.compareEntry(bytes(out.back().first), out.back().second,
                                                         n.key(i), recno) >= 0)
                        damaged("the keys of tag " + tag.name + " are out of order on page " +
                                std::to_string(page));
                    out.emplace_back(
                        std::string(reinterpret_cast<const char*>(n.key(i)), tag.keyLength), recno);
                }
                return;
            }
            std::string previous;
            const std::string* lower = low;
            for (uint32_t i = 0; i <= n.count; ++i) {
                std::string sep;
                const std::string* upper = high;
                if (i < n.count) {
                    sep.assign(reinterpret_cast<const char*>(n.key(i)), tag.keyLength);
                    checkBounds(n.key(i));
                    if (lower && tag.compareKey(bytes(sep), bytes(*lower)) < 0)
                        damaged("the keys of tag " + tag.name + " are out of order on page " +
                                std::to_string(page));
                    upper = &sep;
                }
                walk(n.child(i), depth + 1, lower, upper);
                if (i < n.count) {
                    previous = sep;
                    lower = &previous;
                }
            }
        };
    walk(tag.root, 0, nullptr, nullptr);
    return out;
}

// ---------------------------------------------------------------------------------------------
// Cursor

MdxCursor MdxFile::cursor(std::string_view tag) {
    return MdxCursor(*this, std::string(tag));
}

MdxCursor::MdxCursor(MdxFile& file, std::string tagName)
    : m_file(&file), m_tagName(std::move(tagName)) {
    MdxFile::Lock lock(*m_file, false);
    ensureTag();
}

MdxCursor::~MdxCursor() = default;
MdxCursor::MdxCursor(MdxCursor&&) noexcept = default;

KeyType MdxCursor::keyType() const {
    return m_tag->type;
}
uint16_t MdxCursor::keyLength() const {
    return m_tag->keyLength;
}

void MdxCursor::ensureTag() {
    if (m_tag && m_generation == m_file->m_generation)
        return;
    const auto h = m_file->readHeader();
    m_tag = std::make_unique<MdxFile::TagState>(m_file->resolveTag(h, m_tagName));
    m_generation = m_file->m_generation;
    m_path.clear();
}

namespace {
MdxFile::Header headerFor(const MdxFile::TagState& t) {
    MdxFile::Header h;
    h.pages = t.pages;
    h.blockPages = t.blockPages;
    h.blockBytes = t.blockBytes;
    return h;
}
} // namespace

MdxFile::Node MdxCursor::readPage(uint32_t page) {
    // Another writer may have grown the file since the page count was last read.
    if (uint64_t(page) + m_tag->blockPages > m_tag->pages)
        m_tag->pages = m_file->readHeader().pages;
    return m_file->readNode(headerFor(*m_tag), *m_tag, page);
}

void MdxCursor::take(const MdxFile::Node& leaf, uint32_t index, int direction) {
    const uint8_t* key = leaf.key(index);
    const uint32_t recno = leaf.ptr(index);
    if (recno == 0)
        m_file->damaged("tag " + m_tag->name + " names record 0");
    if (m_valid && direction != 0) {
        const int c = m_tag->compareEntry(key, recno, bytes(m_key), m_recno);
        if (c * direction <= 0)
            m_file->damaged("the keys of tag " + m_tag->name + " are out of order on page " +
                            std::to_string(leaf.page));
    }
    m_key.assign(reinterpret_cast<const char*>(key), m_tag->keyLength);
    m_recno = recno;
    m_valid = true;
    m_descended.clear();
}

bool MdxCursor::descendEdge(uint32_t page, bool leftmost) {
    for (int depth = 0;; ++depth) {
        if (depth > kMaxDepth || m_path.size() > std::size_t(kMaxDepth))
            m_file->damaged("tag " + m_tag->name + " is deeper than " + std::to_string(kMaxDepth) +
                            " levels");
        // Between two entries a walk enters each page once; a page met again (a crafted or
        // garbled tree whose children share pages) would make the walk run for ever.
        const bool onPath = std::any_of(m_path.begin(), m_path.end(),
                                        [&](const Step& s) { return s.page == page; });
        if (onPath || std::find(m_descended.begin(), m_descended.end(), page) != m_descended.end())
            m_file->damaged("tag " + m_tag->name + " reaches page " + std::to_string(page) +
                            " twice");
        m_descended.push_back(page);
        const MdxFile::Node n = readPage(page);
        if (n.leaf) {
            if (n.count == 0) {
                m_path.push_back({page, 0});
                return false;
            }
            const uint32_t index = leftmost ? 0 : n.count - 1;
            m_path.push_back({page, index});
            take(n, index, leftmost ? 1 : -1);
            return true;
        }
        const uint32_t index = leftmost ? 0 : n.count;
        m_path.push_back({page, index});
        page = n.child(index);
    }
}

bool MdxCursor::stepFromPath(bool forward) {
    {
        const MdxFile::Node leaf = readPage(m_path.back().page);
        uint32_t& idx = m_path.back().index;
        if (forward && idx + 1 < leaf.count) {
            take(leaf, ++idx, 1);
            return true;
        }
        if (!forward && idx > 0 && idx <= leaf.count) {
            take(leaf, --idx, -1);
            return true;
        }
    }
    for (;;) {
        const uint32_t from = m_path.back().page;
        m_path.pop_back();
        if (m_path.empty()) {
            m_valid = false;
            return false;
        }
        auto& step = m_path.back();
        const MdxFile::Node node = readPage(step.page);
        if (node.leaf || step.index > node.count || node.child(step.index) != from)
            return reposition(forward);
        if (forward && step.index < node.count)
            ++step.index;
        else if (!forward && step.index > 0)
            --step.index;
        else
            continue;
        if (m_path.size() > std::size_t(kMaxDepth))
            m_file->damaged("tag " + m_tag->name + " is deeper than " + std::to_string(kMaxDepth) +
                            " levels");
        if (descendEdge(node.child(step.index), forward))
            return true;
    }
}

// Finds the place of the current entry again from the root and steps from there.
bool MdxCursor::reposition(bool forward) {
    MdxFile::Header h = headerFor(*m_tag);
    TreeEdit finder(*m_file, h, *m_tag, [&](uint32_t page) { return readPage(page); });
    finder.descend(m_key, m_recno);
    m_path.clear();
    m_descended.clear();
    for (const auto& item : finder.path())
        m_path.push_back({item.node.page, uint32_t(item.index)});
    const Decoded& leaf = finder.path().back().node;
    const uint32_t pos = uint32_t(finder.path().back().index);
    const uint32_t n = uint32_t(leaf.entries.size());
    const bool exact =
        pos < n && leaf.entries[pos].ptr == m_recno && leaf.entries[pos].key == m_key;
    if (exact)
        return stepFromPath(forward);
    const MdxFile::Node raw = readPage(leaf.page);
    if (forward) {
        if (pos < n) {
            m_path.back().index = pos;
            take(raw, pos, 1);
            return true;
        }
        m_path.back().index = n == 0 ? 0 : n - 1;
        return stepFromPath(true);
    }
    if (pos > 0) {
        m_path.back().index = pos - 1;
        take(raw, pos - 1, -1);
        return true;
    }
    m_path.back().index = 0;
    return stepFromPath(false);
}

// Keeps the leaf the cursor stands on, with the file's change counter as read under the lock,
// so that the next steps within the leaf need only check that the counter did not move.
bool MdxCursor::remember(bool result) {
    m_cached = false;
    uint32_t counter = 0;
    if (!result || m_path.empty() || !m_file->readCounter(counter) || counter % 2 != 0)
        return result;
    m_leaf = std::make_unique<MdxFile::Node>(readPage(m_path.back().page));
    m_counter = counter;
    m_cached = m_leaf->leaf;
    return result;
}

bool MdxCursor::quickStep(bool forward) {
    if (!m_cached || m_generation != m_file->m_generation)
        return false;
    uint32_t counter = 0;
    if (!m_file->readCounter(counter) || counter != m_counter)
        return false;
    uint32_t& idx = m_path.back().index;
    if (forward ? idx + 1 >= m_leaf->count : idx == 0)
        return false;
    idx = forward ? idx + 1 : idx - 1;
    take(*m_leaf, idx, forward ? 1 : -1);
    return true;
}

bool MdxCursor::first() {
    return toEdge(true);
}

bool MdxCursor::last() {
    return toEdge(false);
}

bool MdxCursor::toEdge(bool front) {
    MdxFile::Lock lock(*m_file, false);
    ensureTag();
    m_path.clear();
    m_descended.clear();
    m_valid = false;
    if (descendEdge(m_tag->root, front))
        return remember(true);
    return remember(stepFromPath(front));
}

bool MdxCursor::next() {
    return step(true);
}

bool MdxCursor::prior() {
    return step(false);
}

bool MdxCursor::step(bool forward) {
    if (!m_valid)
        return false;
    if (quickStep(forward))
        return true;
    MdxFile::Lock lock(*m_file, false);
    return remember(stepLocked(forward));
}

bool MdxCursor::stepLocked(bool forward) {
    const uint64_t generation = m_generation;
    ensureTag();
    if (generation != m_generation || m_path.empty())
        return reposition(forward);
    const MdxFile::Node leaf = readPage(m_path.back().page);
    const uint32_t idx = m_path.back().index;
    if (!leaf.leaf || idx >= leaf.count || leaf.ptr(idx) != m_recno ||
        std::memcmp(leaf.key(idx), m_key.data(), m_tag->keyLength) != 0)
        return reposition(forward);
    if (forward && idx + 1 < leaf.count) {
        m_path.back().index = idx + 1;
        take(leaf, idx + 1, 1);
        return true;
    }
    return stepFromPath(forward);
}

bool MdxCursor::seek(std::string_view key, uint32_t recno) {
    MdxFile::Lock lock(*m_file, false);
    return remember(seekLocked(key, recno));
}

bool MdxCursor::seekLocked(std::string_view key, uint32_t recno) {
    ensureTag();
    std::string k(key.substr(0, m_tag->keyLength));
    if (k.size() < m_tag->keyLength)
        k.append(m_tag->keyLength - k.size(), m_tag->type == KeyType::Character ? ' ' : '\0');
    m_key = k;
    m_recno = recno;
    m_valid = false;
    // Stand just before (key, recno) and step forward onto the first entry not below it.
    MdxFile::Header h = headerFor(*m_tag);
    TreeEdit finder(*m_file, h, *m_tag, [&](uint32_t page) { return readPage(page); });
    finder.descend(k, recno);
    m_path.clear();
    m_descended.clear();
    for (const auto& item : finder.path())
        m_path.push_back({item.node.page, uint32_t(item.index)});
    const uint32_t pos = uint32_t(finder.path().back().index);
    const uint32_t n = uint32_t(finder.path().back().node.entries.size());
    const MdxFile::Node raw = readPage(m_path.back().page);
    if (pos < n) {
        take(raw, pos, 0);
        return true;
    }
    // Past the end of this leaf: m_valid stays false so the step does not compare its
    // entry against the sought key.
    m_path.back().index = n == 0 ? 0 : n - 1;
    return stepFromPath(true);
}

} // namespace dbase
