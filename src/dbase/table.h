#pragma once

#include "code_page.h"
#include "database_error.h"
#include "dbf_layout.h"
#include "field.h"
#include "file_io.h"
#include "memo_file.h"
#include "production_index.h"
#include "table_hooks.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dbase {

enum class OpenMode {
    Shared,    // read and write; other shared openers allowed
    Exclusive, // read and write; fails while anyone else has the table open
    ReadOnly,  // read only; coexists with shared openers
};

enum class TableState { Inactive, Browse, Edit, Insert };

// Where the cursor was; gotoBookmark() returns there.
struct Bookmark {
    std::uint32_t recNo = 0;
    bool isValid() const { return recNo != 0; }
};

// One dBase IV table (.DBF) opened through a record cursor.
//
// Walks skip records marked deleted and records the filter refuses. The cursor follows the
// usual dataset rules: first() sets bof(), last() sets eof(), next() past the last visible
// record sets eof() and stays where it was; on an empty view both are set and recordNumber()
// is 0. Moving while editing posts the edit first; close() discards it.
//
// Locks are open file description locks, so they exclude other processes and other Table
// objects in this process alike, and a dying process releases them. Every opener holds a read
// lock on one byte far past the data; exclusive use is a write lock on the same byte. Appends
// take an append lock, re-read the record count under it, write the record and the end marker,
// then the new count. A record being edited is locked against other editors. Observers must be
// detached before they are destroyed.
//
// Invariants, and where they are kept (checked with assert() in debug builds):
//  1. A new record's bytes and the end marker reach the file before the header count that
//     makes them visible, under the append lock (appendLocked).
//  2. Every record write passes the write hook, which for an indexed table holds the index's
//     write lock and its one-entry journal around the record and its keys (storeRecord,
//     appendLocked; ProductionIndex::write). A journal found set means a writer died half-way;
//     the next writable opener rebuilds the tags.
//  3. The index's change counter is odd while a change is being written and moves to the next
//     even value when it is committed (MdxFile::Change).
//  4. A file that replaces the table or its index is written in full beside it under a name of
//     our pattern, locked while written, synced, then renamed over (temporary::create, pack,
//     create, writeWholeFile); an exclusive opener removes such files no live process holds.
//  5. recordNumber() is 0 exactly when the view is empty; in Browse state the record buffer
//     holds that record as last read (checkCursor).
//  6. A selected tag is the walking order and has a name; no tag, record order (checkCursor).
class Table {
public:
    using Filter = std::function<bool(const Table&)>;

    Table();
    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    // Writes an empty table dir/name.DBF (the ".DBF" is added unless name ends in it), replacing
    // any file of that name. No index; language driver 0x57. Returns the file's path. Refused
    // with "table busy" while anyone has the old table open; the new file is written beside it
    // and renamed over it, so a failure leaves the old one as it was.
    static std::filesystem::path create(const std::filesystem::path& dir, std::string_view name,
                                        const std::vector<FieldDef>& fields);

    // name without extension (a name already ending in ".DBF" in any case is taken as is).
    void open(const std::filesystem::path& dir, std::string_view name,
              OpenMode mode = OpenMode::Shared);
    // Opens the file at exactly this path, whatever its name. With byte 28 set, the production
    // index opens with it, and a damaged one is a DatabaseError naming it. A missing one is a
    // DatabaseError too, unless the table is opened read-only: reading needs no index, so the
    // table then opens without it and missingIndex() names it. withIndex = false leaves the
    // index alone (for tools that look at the records only).
    //
    // FoxPro and Visual FoxPro tables open read-only only (anything else is a DatabaseError);
    // their structural .CDX index is never read. Memo fields read their text from NAME.DBT
    // (NAME.FPT for FoxPro); a missing or damaged memo file lets the table open, and reading a
    // memo then throws DatabaseError naming the memo file.
    void openFile(const std::filesystem::path& file, OpenMode mode = OpenMode::Shared,
                  bool withIndex = true);
    // The file open() would use for dir and name.
    static std::filesystem::path tablePath(const std::filesystem::path& dir, std::string_view name);
    void close();
    bool isOpen() const;

    const std::filesystem::path& path() const { return m_path; }
    OpenMode openMode() const { return m_mode; }
    TableState state() const { return m_state; }

    // Header facts.
    TableFormat format() const;
    std::uint8_t versionByte() const;
    std::uint8_t languageDriver() const;
    CodePage codePage() const;
    bool hasProductionIndex() const; // header byte 28 of a dBase table
    void setProductionIndexFlag(bool on);
    // The index file header byte 28 names when it is not there (a dBase .MDX, or a FoxPro
    // .CDX); empty when the byte names none or the file is there.
    const std::filesystem::path& missingIndex() const { return m_missingIndex; }
    // The memo file, when the table has memo fields; nullptr otherwise.
    const MemoFile* memoFile() const { return m_memo.get(); }
    std::optional<Date> lastUpdate() const;

    // Field layout.
    const std::vector<Field>& fields() const { return m_fields; }
    int fieldCount() const { return static_cast<int>(m_fields.size()); }
    const Field& field(int index) const;
    // Case-blind; -1 when the table has no such field.
    int fieldIndex(std::string_view name) const;
    int recordLength() const;
    int headerLength() const { return static_cast<int>(m_headerLength); }

    // Cursor.
    void first();
    void last();
    void next();
    void prior();
    bool bof() const { return m_bof; }
    bool eof() const { return m_eof; }
    bool isEmpty() const { return m_recNo == 0; }
    std::uint32_t recordNumber() const { return m_recNo; }
    Bookmark bookmark() const { return {m_recNo}; }
    // Back to a bookmarked record; when it was deleted or filtered out since, to the next
    // visible one.
    void gotoBookmark(const Bookmark& mark);
    // Re-reads the record count and the current record, and applies the filter again.
    void refresh();

    void setFilter(Filter filter);
    void clearFilter();
    bool hasFilter() const { return static_cast<bool>(m_filter); }
    const Filter& filter() const { return m_filter; }

    // Records in the header, deleted ones included (re-read from the file).
    std::uint32_t recordCount();
    // Records a walk would see: not deleted and accepted by the filter. Keeps the position.
    std::uint32_t countVisible();
    // The record numbers of the records a walk would see, in walking order: the selected
    // tag's key order (equal keys in the order the tag keeps them), or record order. Row N of a
    // view is the record at index N, so a viewer that keeps this row map lands on any row at once
    // (go there with gotoBookmark({rows[n]})) and needs to read only the rows it shows.
    //
    // Built in bulk, without a system call per record: the tag's leaf pages are read in large
    // runs, and the records front to back in 64 KiB windows for the deletion flags and the
    // filter (which sees each record through the usual accessors). 1,000,000 records take
    // well under a second; see bench/README.md. It is a snapshot: build it again when an
    // observer hears DataChanged. Keeps the cursor where it was. A tag that names a record
    // past the end of the table is a DatabaseError naming the index.
    std::vector<std::uint32_t> visibleRecordNumbers();

    // Editing. insert() is append() in a dBase table.
    void append();
    void insert() { append(); }
    void edit();
    void post();
    void cancel();
    // Bulk appending. Between beginBatch() and endBatch() the table's append lock and the
    // index's write lock are held throughout, so appends cost no locking and no header reads;
    // their keys reach the index at endBatch() (other programs meanwhile see the tags without
    // them). The header count follows the records every few hundred appends, never ahead of
    // them. A process that dies mid-batch leaves its index marked, and the next opener
    // rebuilds it. Only appends may be posted in between; closing the table ends the batch.
    void beginBatch();
    void endBatch();
    bool inBatch() const { return m_batch; }

    // Marks the current record deleted (pack removes it) and moves to the next visible record.
    void deleteRecord();
    // Removes deleted records. Needs exclusive use. The live records are written to a new file
    // beside the table, which is locked for exclusive use and then renamed over the table, so a
    // failure leaves the table untouched and no other program can open the new file in between.
    // The table stays open (now on the new file) and exclusive afterwards: no reopen is needed.
    // Hard links to the old file keep the unpacked records.
    void pack();

    // Field values of the current record buffer. Text is in the table's code page bytes.
    // Character fields lose trailing blanks, numbers their leading blanks; dates read "YYYYMMDD".
    // A number field filled with '*' (the overflow mark other programs write) is blank. A memo
    // field reads its text from the memo file. Visual FoxPro values: integers, doubles and
    // currency (four decimals) as decimal text, date-times as "YYYY-MM-DD HH:MM:SS", varchar
    // text at its stored length; a null value and the binary types (isBinaryType) read "".
    std::string fieldText(int index) const;
    std::string_view fieldBytes(int index) const; // exactly as stored
    bool isBlank(int index) const;
    // A Visual FoxPro field whose null flag is set.
    bool isNull(int index) const;
    // The bytes a memo-file field (M, G, P, W) points at: a memo's text, a picture's bytes; ""
    // when it points nowhere. A bad block number or memo file throws DatabaseError.
    std::string memoBytes(int index) const;
    // Blank gives nullopt; bytes that are no number/date throw DatabaseError. Numbers read
    // N, F and the Visual FoxPro I, B and Y fields; dates read D fields and the date of T ones.
    std::optional<std::int64_t> fieldInteger(int index) const;
    std::optional<double> fieldDouble(int index) const;
    std::optional<Date> fieldDate(int index) const;
    std::optional<bool> fieldLogical(int index) const;

    // Setters need Edit or Insert state and throw DatabaseError when the value does not fit.
    // setFieldText parses text for number and date fields ("" clears). Memo text is not
    // written: setting a memo field is refused, clearing it leaves the record without a memo.
    void setFieldText(int index, std::string_view text);
    void setFieldInteger(int index, std::int64_t value);
    void setFieldDouble(int index, double value);
    void setFieldDate(int index, const Date& value);
    void setFieldLogical(int index, bool value);
    void clearField(int index);

    // The same by field name (case-blind); an unknown name throws DatabaseError.
    std::string fieldText(std::string_view name) const { return fieldText(requireField(name)); }
    bool isBlank(std::string_view name) const { return isBlank(requireField(name)); }
    std::optional<std::int64_t> fieldInteger(std::string_view name) const {
        return fieldInteger(requireField(name));
    }
    std::optional<double> fieldDouble(std::string_view name) const {
        return fieldDouble(requireField(name));
    }
    std::optional<Date> fieldDate(std::string_view name) const {
        return fieldDate(requireField(name));
    }
    void setFieldText(std::string_view name, std::string_view text) {
        setFieldText(requireField(name), text);
    }
    void setFieldInteger(std::string_view name, std::int64_t value) {
        setFieldInteger(requireField(name), value);
    }
    void setFieldDouble(std::string_view name, double value) {
        setFieldDouble(requireField(name), value);
    }
    void setFieldDate(std::string_view name, const Date& value) {
        setFieldDate(requireField(name), value);
    }
    void clearField(std::string_view name) { clearField(requireField(name)); }
    int requireField(std::string_view name) const;

    // Production index NAME.MDX. Every post and delete keeps every tag right; deleted records
    // keep their keys until a pack, unless a tag's FOR condition leaves them out.
    static std::filesystem::path indexPath(const std::filesystem::path& tableFile);
    bool hasIndex() const { return m_index != nullptr; }
    std::vector<IndexTag> indexTags();
    // Adds a tag built from the records (creating NAME.MDX and setting byte 28 for the first);
    // with a FOR condition the tag holds only the records that meet it.
    void addIndex(std::string_view tag, std::string_view expression,
                  std::string_view forCondition = {});
    // Deleting the last tag removes NAME.MDX and clears byte 28.
    void deleteIndex(std::string_view tag);
    // Walks in the tag's key order (equal keys in the order the tag keeps them: record order
    // in tags this engine writes, often newest first in other programs'); "" walks in record
    // order.
    // Tag names compare without regard to letter case. Goes to first().
    void setIndex(std::string_view tag);
    const std::string& indexName() const { return m_indexName; }
    // Key lookups on the selected tag. The value is the key as text: for a character key the
    // text itself (blank-padded), for a numeric key a decimal number, for a date YYYYMMDD.
    // findKey goes to the first visible record with exactly that key, or stays and answers
    // false; findNearest goes to the first visible record whose key is not below it (the last
    // record, at eof(), when there is none).
    bool findKey(std::string_view value);
    void findNearest(std::string_view value);
    // Rebuilds every tag from the records. Also repairs an index whose damage kept it from
    // opening (open with withIndex = false first): the tags its tag table still names are
    // built afresh. A tag that cannot be rebuilt (its name or expression garbled) is left out
    // and the others are rebuilt; the answer names each one left out, and says so when byte 28
    // names an index file that is gone (the flag is then cleared). Empty when all went well.
    std::vector<std::string> regenerateIndexes();
    // Problems of every tag (tree, order, keys against the records); empty when all is well.
    std::vector<std::string> checkIndexes();

    // Display observers. While updates are suspended (calls nest) nobody is told; the last
    // resume sends one DataChanged when anything happened meanwhile.
    void attach(TableObserver* observer);
    void detach(TableObserver* observer);
    void suspendUpdates();
    void resumeUpdates();
    bool updatesSuspended() const { return m_suspend > 0; }

    // The current record's raw bytes: the deletion flag, then each field at its offset (see
    // FieldDef). For filters that judge many records without decoding every field.
    std::string_view recordBuffer() const { return m_buffer; }

    // --- For engine code (index tags, expressions); not for the layers above. ---
    // Raw bytes of record recNo straight from the file.
    std::string readRecord(std::uint32_t recNo) const;
    // Replaces the walking order (nullptr: natural record order) and goes to first().
    void setRecordOrder(std::unique_ptr<RecordOrder> order);
    RecordOrder& recordOrder() { return *m_order; }
    void setWriteHook(RecordWriteHook* hook) { m_hook = hook; }
    int fileDescriptor() const { return m_fd; }

private:
    void requireOpen(const char* what) const;
    void checkCursor() const;
    void requireWritable(const char* what) const;
    void requireEditing(const char* what) const;
    [[noreturn]] void fail(const std::string& what) const;
    std::string_view numberFieldText(int index) const;
    std::optional<double> binaryNumber(int index) const;

    std::uint32_t rereadRecordCount();
    void step(bool forward);
    void toEnd(bool front);
    const char* cachedRecord(std::uint32_t recNo) const;
    const char* prefetched(std::uint32_t recNo) const;
    void copyUpcoming(std::size_t from) const;
    std::uint64_t recordOffset(std::uint32_t recNo) const {
        return std::uint64_t{m_headerLength} + std::uint64_t{recNo - 1} * m_recordLength;
    }
    void forgetCachedRecords() const;
    void mapRecords();
    std::string readRecordFromDisk(std::uint32_t recNo) const;
    void loadRecord(std::uint32_t recNo);
    bool candidateVisible(std::uint32_t recNo);
    std::uint32_t skipInvisible(std::uint32_t recNo, bool forward);
    void forEachVisible(const std::function<void(std::uint32_t)>& fn);
    void makeEmpty();
    void positionAt(std::uint32_t recNo);
    void checkBrowseMode();
    std::uint32_t storeRecord(std::uint32_t recNo, const std::string& before,
                              const std::string& after);
    std::uint32_t appendLocked(const std::string& record);
    void touchHeaderDate();
    void writeRecordCount(std::uint32_t count);
    void setBytes(int index, const std::string& bytes);
    void setNumberText(int index, std::string_view text);
    void releaseRecordLock();
    void notify(TableObserver::Change change);
    std::string describe(int index) const;
    void attachIndex(std::unique_ptr<ProductionIndex> index);
    void detachIndex();
    void followIndexChanges();
    std::uint32_t seekKey(std::string_view value, std::string& key);

    std::filesystem::path m_path;
    OpenMode m_mode = OpenMode::Shared;
    TableState m_state = TableState::Inactive;
    int m_fd = -1;

    std::string m_headerBytes; // the 32 fixed header bytes as last read
    TableFormat m_format = TableFormat::Dbase;
    int m_nullFlagsOffset = 0;
    int m_nullFlagsLength = 0;
    std::unique_ptr<MemoFile> m_memo;
    std::filesystem::path m_missingIndex;
    std::uint32_t m_recordCount = 0;
    std::uint32_t m_headerLength = 0;
    std::uint32_t m_recordLength = 0;
    std::vector<Field> m_fields;

    std::unique_ptr<RecordOrder> m_order;
    Filter m_filter;
    RecordWriteHook* m_hook = nullptr;

    std::string m_buffer; // current record (or the one being edited)
    std::string m_saved;  // the record as it was before edit()/append()
    std::uint32_t m_recNo = 0;
    std::uint32_t m_lockedRecNo = 0;
    bool m_bof = true;
    bool m_eof = true;
    Date m_lastTouched{};

    // Read-ahead window over the records, so walks do not cost one system call per record.
    mutable std::string m_cache;
    mutable std::uint64_t m_cacheStart = 0;
    mutable std::uint32_t m_lastRead = 0;
    mutable std::uint32_t m_neighbourRun = 0;
    // The records mapped into memory, for reads that jump about (walks in key order).
    io::MappedView m_view;
    mutable std::string m_jump; // the record last copied from the view
    // Records the order said come next, copied from the view in one go, for a long walk in
    // key order: the walk then reads them one after another from memory.
    mutable std::vector<std::uint32_t> m_prefetchNumbers; // in the order's order; 0: not copied
    mutable std::vector<std::uint64_t> m_prefetchOffsets; // where they lie in the file
    mutable std::string m_prefetchBytes; // the records of entries [m_prefetchFrom, m_prefetchTo)
    mutable std::size_t m_prefetchFrom = 0;
    mutable std::size_t m_prefetchTo = 0;
    mutable std::size_t m_prefetchPos = 0; // the next one the walk will ask for
    mutable std::uint64_t m_prefetchBatch = 0;

    std::unique_ptr<ProductionIndex> m_index;
    TagOrder* m_tagOrder = nullptr; // the order when a tag is selected
    std::string m_indexName;

    // A bulk append under way: the count when it began and the count last written.
    bool m_batch = false;
    std::uint32_t m_batchStart = 0;
    std::uint32_t m_batchWritten = 0;

    std::vector<TableObserver*> m_observers;
    int m_suspend = 0;
    bool m_pendingNotice = false;
};

} // namespace dbase
