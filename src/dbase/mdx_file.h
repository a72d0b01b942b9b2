#pragma once

// The production index NAME.MDX: a dBase IV multiple-index file holding up to 47 tags, each
// a B-tree of (key, record number) entries in 1024-byte blocks.
//
// Sharing: every operation takes an OFD lock on the byte 0xEFFFFFFE of the file (shared for
// reads, exclusive for writes), so a second process never reads a half-done change and sees
// every finished one the next time it reads. Every change also moves a counter in the file
// header (odd while the change is being written). Nodes are read from the file; the only
// things kept between operations are a cursor's current leaf and the tag list, and each is
// used only while the counter still reads as it did when they were read. Other dBase software
// does not move the counter, so a change it makes inside the leaf a cursor stands on shows
// once the cursor leaves that leaf.
//
// A file that is replaced (tag deleted, indexes regenerated) gets an odd counter first and
// is then renamed over; readers holding the old file notice at their next operation and open
// the new one.
//
// Space: pages of a node emptied by key removal are not reused, and node underflow is left
// alone (a node is only unlinked when its last entry goes). Deleting a tag and regenerating
// rewrite the whole file compactly into a temporary file that then replaces the old one.

#include "dbase/file_io.h"
#include "dbase/mdx_key.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dbase {

inline constexpr std::size_t kMdxMaxTags = 47;
inline constexpr std::size_t kMdxTagNameLength = 10;
// pendingWrite() value saying that every tag is behind the table (a pack under way).
inline constexpr uint32_t kMdxWholeIndex = 0xFFFFFFFF;

struct MdxTagInfo {
    std::string name; // as stored; we store upper case
    std::string expression;
    std::string forExpression; // empty when the tag has no FOR clause
    KeyType keyType = KeyType::Character;
    uint16_t keyLength = 0;
    bool descending = false;
    bool unique = false;
};

// Keys of one tag collected for a bulk build; sorted by the build.
class MdxKeySet {
public:
    explicit MdxKeySet(uint16_t keyLength) : m_keyLength(keyLength) {}
    void reserve(std::size_t n);
    // key must hold exactly keyLength bytes.
    void add(std::string_view key, uint32_t recno);
    std::size_t size() const { return m_recnos.size(); }
    uint16_t keyLength() const { return m_keyLength; }
    std::string_view key(std::size_t i) const {
        return {m_keys.data() + i * m_keyLength, m_keyLength};
    }
    uint32_t recno(std::size_t i) const { return m_recnos[i]; }

private:
    uint16_t m_keyLength;
    std::vector<char> m_keys;
    std::vector<uint32_t> m_recnos;
};

struct MdxTagBuild {
    MdxTagInfo info;
    MdxKeySet keys;
};

class MdxCursor;
namespace mdx_detail {
struct PathItem;
}

class MdxFile {
public:
    // Writes a complete index with the given tags (bulk-built), replacing any file at path
    // in one step, and opens it for writing.
    static std::unique_ptr<MdxFile> create(const std::string& path, std::string_view tableName,
                                           uint8_t languageDriver, std::vector<MdxTagBuild> tags);
    // Opens an existing index and checks its header and tag headers against the file.
    static std::unique_ptr<MdxFile> open(const std::string& path, bool writable);
    // The tag names and expressions that can still be read from a file that fails its checks
    // (cut short, garbled nodes), for rebuilding it. Throws DatabaseError when not even one tag
    // can be read.
    static std::vector<MdxTagInfo> salvageTags(const std::string& path);

    // Throws DatabaseError when a tag with this name, key and expression cannot be written.
    // Names other programs chose (a leading underscore, say) pass.
    static void checkTagInfo(const MdxTagInfo& info);
    // Throws DatabaseError unless name is one dBase itself would give a new tag: 1 to 10
    // letters, digits or _, starting with a letter.
    static void checkNewTagName(std::string_view name);

    ~MdxFile();
    MdxFile(const MdxFile&) = delete;
    MdxFile& operator=(const MdxFile&) = delete;

    const std::string& path() const { return m_path; }
    std::vector<MdxTagInfo> tags();
    // Tag names compare without regard to letter case.
    std::optional<MdxTagInfo> findTag(std::string_view name);

    // Bulk-builds a new tag from the given keys and adds it to the file; its name must pass
    // checkNewTagName.
    void addTag(MdxTagBuild build);
    // Removes a tag; the file is rewritten without it (it may be left with no tags).
    void deleteTag(std::string_view name);
    // Replaces the whole file by one holding exactly these tags, bulk-built.
    void rebuild(std::string_view tableName, uint8_t languageDriver, std::vector<MdxTagBuild> tags);

    // Runs fn holding the write lock, so that a series of changes (or reading the table and
    // then changing the index) is seen by other processes as one.
    void withWriteLock(const std::function<void()>& fn);
    // The same for a series that spans several calls (a bulk append): the write lock is held
    // from holdWriteLock() until releaseWriteLock(), and every operation in between runs under
    // it without locking again. Calls do not nest.
    void holdWriteLock();
    void releaseWriteLock();

    // Adds (key, recno) to a tag; an entry already present where record order puts it is
    // left as it is, and on a unique tag a key already present is not added again.
    void insertKey(std::string_view tag, std::string_view key, uint32_t recno);
    // Removes (key, recno) wherever it lies among the entries of its key, which other writers
    // keep newest first or in no order; false when the tag does not hold it.
    bool removeKey(std::string_view tag, std::string_view key, uint32_t recno);

    // Walks the whole tag checking the tree (node sizes, page numbers, key order, the
    // interior keys, record numbers 1..recordCount) and returns its entries in order.
    // Throws DatabaseError naming the index at the first fault.
    std::vector<std::pair<std::string, uint32_t>> verifyTag(std::string_view tag,
                                                            uint32_t recordCount);

    MdxCursor cursor(std::string_view tag);

    // The record numbers of a tag in key order, read in bulk: the interior levels one after
    // the other, then the leaves in large reads. A consistent snapshot (taken under the shared
    // lock). Throws DatabaseError naming the index when the tree is damaged, never loops.
    std::vector<uint32_t> recordNumbers(std::string_view tag);

    // A write journal of one entry. A writer sets the record it is about to write (under the
    // write lock, held until the keys are in) and clears it afterwards; finding it set under
    // the write lock means a writer died half-way and the tags may be behind the table.
    uint32_t pendingWrite();
    void setPendingWrite(uint32_t recNo);

    // Marks the file as replaced for every reader that has it open; call just before the
    // file is removed.
    void retire();

    // Opaque tag state and lock handling; public for the cursor's use.
    struct Header;
    class Change;
    struct TagState;
    struct Node;
    class Lock;
    [[noreturn]] void damaged(const std::string& why) const;

private:
    friend class MdxCursor;
    MdxFile(std::string path, int fd, bool writable);

    void requireWritable() const;
    Header readHeader();
    TagState resolveTag(const Header& header, std::string_view name);
    Node readNode(const Header& header, const TagState& tag, uint32_t page);
    void checkPage(const Header& header, const TagState& tag, uint32_t page) const;
    void finishNode(const TagState& tag, Node& node) const;
    void forEachNode(const Header& header, const TagState& tag, const std::vector<uint32_t>& pages,
                     const std::function<void(const Node&)>& fn);
    void reopenIfReplaced();
    bool readCounter(uint32_t& value) const;
    void writeCounter(uint32_t value);
    void rewriteWithout(std::string_view name);

    std::string m_path;
    int m_fd = -1;
    io::MappedView m_header; // the file header, for the change counter
    bool m_writable = false;
    uint64_t m_generation = 0; // grows whenever the file under m_path was replaced
    int m_lockDepth = 0;
    // The tag list as last read, valid while the change counter stays where it was.
    bool m_tagsCached = false;
    uint32_t m_tagsCounter = 0;
    uint64_t m_tagsGeneration = 0;
    std::vector<MdxTagInfo> m_tagsCache;
    std::unique_ptr<Lock> m_heldLock; // between holdWriteLock() and releaseWriteLock()
    friend class Lock;
};

// A position in one tag. Each step re-reads what it needs under a shared lock and checks that
// the entry it stood on is still there; when another writer moved it, the cursor finds its
// place again by key.
class MdxCursor {
public:
    MdxCursor(MdxFile& file, std::string tagName);
    ~MdxCursor();
    MdxCursor(MdxCursor&&) noexcept;

    bool first();
    bool last();
    bool next();
    bool prior();
    // Stands on the first entry not below (key, recno); false when there is none.
    bool seek(std::string_view key, uint32_t recno = 0);
    // Stands on the entry (key, recno) whatever the record order among the entries of its key.
    // False when the tag does not hold it; the cursor then stands as seek(key, recno) leaves it.
    bool find(std::string_view key, uint32_t recno);

    // Steps forward up to n entries under one lock, appending each key to keys (they all have
    // the tag's key length) and its record to recnos; returns how many it took. The cursor
    // stands on the last one taken.
    std::size_t readAhead(std::size_t n, std::string& keys, std::vector<uint32_t>& recnos);
    // True while nobody has changed the file since the cursor last read it: what it read
    // ahead is still what the tag holds.
    bool unchanged() const;

    bool valid() const { return m_valid; }
    const std::string& key() const { return m_key; }
    uint32_t recno() const { return m_recno; }
    KeyType keyType() const;
    uint16_t keyLength() const;

private:
    struct Step {
        uint32_t page;
        uint32_t index;
    };
    void ensureTag();
    bool remember(bool result);
    bool quickStep(bool forward);
    bool toEdge(bool front);
    bool step(bool forward);
    bool stepLocked(bool forward);
    bool seekLocked(std::string_view key, uint32_t recno);
    bool descendEdge(uint32_t page, bool leftmost);
    bool stepFromPath(bool forward);
    bool reposition(bool forward);
    mdx_detail::PathItem descendTo(const std::string& key, uint32_t recno);
    bool locate(const std::string& key, uint32_t recno);
    std::string fullKey(std::string_view key) const;
    MdxFile::Node readPage(uint32_t page);
    MdxFile::Node readThroughWindow(uint32_t page);
    // Takes entry index of leaf as the current one, checking the order against the entry before
    // it (direction 1 forward, -1 backward, 0 none); entered when the step came into leaf.
    void take(const MdxFile::Node& leaf, uint32_t index, int direction, bool entered = false);

    MdxFile* m_file;
    std::string m_tagName;
    std::unique_ptr<MdxFile::TagState> m_tag;
    uint64_t m_generation = 0;
    std::vector<Step> m_path;
    std::vector<uint32_t> m_descended; // pages entered since the last entry taken
    // Leaves entered since the key last changed, walking in m_runDirection: equal keys come in
    // any record order, so only this count tells a walk that a garbled tree led it back to a
    // leaf (it would pass the number of blocks in the file).
    uint32_t m_runLeaves = 0;
    int m_runDirection = 0;
    uint32_t m_runCounter = 0; // the change counter when m_runLeaves was last started afresh
    bool m_valid = false;
    bool m_cached = false;
    uint32_t m_counter = 0;
    std::unique_ptr<MdxFile::Node> m_leaf;
    std::string m_key;
    uint32_t m_recno = 0;
    // The pages read last, while the file stays as it was when they were read.
    static constexpr std::size_t kKeptPages = 12;
    std::vector<MdxFile::Node> m_pages;
    uint32_t m_pagesCounter = 0;
    uint64_t m_pagesGeneration = 0;
    // A run of pages read in one go, while the file stays as it was then.
    static constexpr std::size_t kWindowBytes = 32 * 1024;
    std::vector<uint8_t> m_window;
    uint64_t m_windowStart = 0;
    uint32_t m_windowCounter = 0;
    uint64_t m_windowGeneration = 0;
    // What the last readAhead was read under.
    bool m_aheadValid = false;
    uint32_t m_aheadCounter = 0;
    uint64_t m_aheadGeneration = 0;
};

} // namespace dbase
