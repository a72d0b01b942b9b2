// Writing whole tags and whole index files.

#include "dbase/mdx_file.h"

#include "dbase/database_error.h"
#include "dbase/file_io.h"
#include "dbase/little_endian.h"
#include "dbase/mdx_internal.h"
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

using namespace mdx_detail;

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

// Names other programs gave their tags are kept when a file is rewritten: 1 to 10 visible
// ASCII characters (a leading underscore, say); a garbled name fails this.
void checkTagName(std::string_view name) {
    const bool ok =
        !name.empty() && name.size() <= kMdxTagNameLength &&
        std::all_of(name.begin(), name.end(), [](char c) { return c > ' ' && c < 0x7F; });
    if (!ok)
        throw DatabaseError("\"" + std::string(name) + "\" is not a valid tag name.");
}

} // namespace

void MdxFile::checkNewTagName(std::string_view name) {
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

std::unique_ptr<MdxFile> MdxFile::create(const std::string& path, std::string_view tableName,
                                         uint8_t languageDriver, std::vector<MdxTagBuild> tags) {
    writeWholeFile(path, tableName, languageDriver, nullptr, tags);
    return open(path, true);
}

void MdxFile::addTag(MdxTagBuild build) {
    requireWritable();
    checkNewTagName(build.info.name);
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
    requireWritable();
    rewriteWithout(name);
}

void MdxFile::rebuild(std::string_view tableName, uint8_t languageDriver,
                      std::vector<MdxTagBuild> tags) {
    requireWritable();
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

} // namespace dbase
