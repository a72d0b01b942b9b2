// Opening the index, its header, change counter and tag list.

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

// ---------------------------------------------------------------------------------------------

MdxFile::MdxFile(std::string path, int fd, bool writable)
    : m_path(std::move(path)), m_fd(fd), m_writable(writable) {}

MdxFile::~MdxFile() {
    m_heldLock.reset();
    if (m_fd >= 0)
        ::close(m_fd);
}

void MdxFile::damaged(const std::string& why) const {
    throw DatabaseError("The index \"" + m_path + "\" is damaged: " + why +
                        ".  Regenerate the indexes to repair it.");
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

uint32_t MdxFile::pendingWrite() {
    uint8_t b[4];
    Lock lock(*this, false);
    if (!readAll(m_fd, b, 4, kHdrPendingWrite))
        return 0;
    return le::u32(b);
}

void MdxFile::setPendingWrite(uint32_t recNo) {
    requireWritable();
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

void MdxFile::requireWritable() const {
    if (!m_writable)
        throw DatabaseError("The index \"" + m_path + "\" is open read-only.");
}

void MdxFile::withWriteLock(const std::function<void()>& fn) {
    requireWritable();
    Lock lock(*this, true);
    fn();
}

void MdxFile::holdWriteLock() {
    requireWritable();
    if (!m_heldLock)
        m_heldLock = std::make_unique<Lock>(*this, true);
}

void MdxFile::releaseWriteLock() {
    m_heldLock.reset();
}

} // namespace dbase
