#pragma once

// The production index of an open table: NAME.MDX beside NAME.DBF, kept right on every record
// write, and the record order of one of its tags.

#include "dbase/expression.h"
#include "dbase/mdx_file.h"
#include "dbase/table_hooks.h"

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace dbase {

class Table;

struct IndexTag {
    std::string name;
    std::string expression;
    std::string forCondition; // empty when the tag holds every record
    char keyType = 'C';       // C, N or D
    int keyLength = 0;
};

class ProductionIndex final : public RecordWriteHook {
public:
    // NAME.MDX for the table file DIR/NAME.EXT (NAME = the file name up to its first ".").
    static std::filesystem::path pathFor(const std::filesystem::path& tableFile);

    // Opens the index of an open table. Throws DatabaseError naming the index when it is
    // missing or fails its header checks.
    static std::unique_ptr<ProductionIndex> open(Table& table);
    // Creates the index of an open table with one tag built from its records (those that meet
    // forCondition, when there is one).
    static std::unique_ptr<ProductionIndex> create(Table& table, std::string_view tag,
                                                   std::string_view expression,
                                                   std::string_view forCondition = {});

    // Writes the index of an open table afresh from the tags its damaged file still names.
    // Tags that cannot be rebuilt (a garbled name or expression) are left out and named in
    // skipped; none at all is a DatabaseError.
    static std::unique_ptr<ProductionIndex> salvage(Table& table,
                                                    std::vector<std::string>& skipped);

    static bool sameTagName(std::string_view a, std::string_view b);

    const std::filesystem::path& path() const { return m_path; }
    MdxFile& file() { return *m_file; }
    std::vector<IndexTag> tags();
    std::optional<MdxTagInfo> findTag(std::string_view name) { return m_file->findTag(name); }

    void addTag(Table& table, std::string_view tag, std::string_view expression,
                std::string_view forCondition = {});
    void deleteTag(std::string_view tag);
    // Rebuilds every tag from the table's records. Returns what could not be rebuilt, one
    // message per tag left out of the new file.
    std::vector<std::string> regenerate(Table& table);

    // The parsed key expression of a tag, for this table's fields. Throws DatabaseError when
    // the expression cannot be used (unknown field or function, or keys of another length).
    const KeyExpression& expression(Table& table, const MdxTagInfo& tag);
    // The parsed FOR condition of a tag; nullptr for a tag without one. Throws DatabaseError
    // when the condition cannot be used.
    const ForCondition* condition(Table& table, const MdxTagInfo& tag);
    // Turns a lookup value into the tag's key: text padded with blanks, a decimal number, or a
    // date as YYYYMMDD.
    std::string keyFromValue(const MdxTagInfo& tag, std::string_view value) const;

    // Problems found in every tag: the tree itself, and every record's key against it.
    std::vector<std::string> check(Table& table);

    // Rebuilds every tag when the write journal shows that a writer died half-way; true when
    // it did. Opening a writable index does this.
    bool repairIfInterrupted(Table& table);

    void write(Table& table, std::uint32_t recNo, std::string_view before, std::string_view after,
               const std::function<void()>& store) override;
    void aboutToPack(Table& table) override;

    // A bulk append (Table::beginBatch): holds the write lock and marks the whole index as
    // behind the table, so a writer that dies in between leaves an index the next opener
    // rebuilds. Throws, holding nothing, when some tag could not follow the new records.
    void beginBatch(Table& table);
    // Brings every tag up to the records firstNew.. the table's count (rebuilding the tags when
    // they are many beside the table, else adding their keys one by one), clears the mark and
    // lets the lock go. complete = false (the table's count could not be written) leaves the
    // mark set, so the next writer or opener rebuilds the tags.
    void endBatch(Table& table, std::uint32_t firstNew, bool complete);
    void packed(Table& table) override;

private:
    ProductionIndex(std::filesystem::path path, std::unique_ptr<MdxFile> file);
    void writeLocked(Table& table, std::uint32_t recNo, std::string_view before,
                     std::string_view after, const std::function<void()>& store);
    static MdxTagBuild buildTag(Table& table, std::string_view tag, std::string_view expression,
                                std::string_view forCondition);
    static std::vector<MdxTagBuild> buildAll(Table& table, const std::vector<MdxTagInfo>& tags,
                                             const std::filesystem::path& path,
                                             std::vector<std::string>& skipped);

    std::filesystem::path m_path;
    std::unique_ptr<MdxFile> m_file;
    // By expression text and key length, and by condition text.
    std::map<std::pair<std::string, uint16_t>, std::unique_ptr<KeyExpression>> m_expressions;
    std::map<std::string, std::unique_ptr<ForCondition>> m_conditions;
};

// Walks the records in the order of one tag. Record numbers the tag names beyond the table's
// end are a DatabaseError naming the index.
class TagOrder final : public RecordOrder {
public:
    using CountFn = std::function<std::uint32_t(bool reread)>;
    TagOrder(MdxFile& file, const MdxTagInfo& tag, const KeyExpression& expression, CountFn count);

    std::uint32_t first() override;
    std::uint32_t last() override;
    std::uint32_t next() override;
    std::uint32_t prior() override;
    void setPosition(std::uint32_t recNo, std::string_view record) override;

    void upcoming(std::vector<std::uint32_t>& recNos) const override;
    std::uint64_t upcomingBatch() const override { return m_aheadBatch; }

    // Stands on the first entry whose key is not below key; 0 when there is none.
    std::uint32_t seek(std::string_view key);
    const std::string& key() const;
    const MdxTagInfo& tag() const { return m_tag; }

private:
    std::uint32_t checked(bool ok);
    std::uint32_t checkedRecno(std::uint32_t recno);
    std::uint32_t step(bool forward);
    void forgetAhead(bool resume);
    void clearAhead();

    static constexpr std::uint32_t kFirstBatch = 64;
    static constexpr std::size_t kLargestBatch = 32768;

    MdxFile& m_file;
    MdxTagInfo m_tag;
    const KeyExpression& m_expression;
    MdxCursor m_cursor;
    CountFn m_count;
    // setPosition only notes where to stand; the next step finds the place in the tag, so a
    // post that is not followed by a move costs no lookup.
    bool m_pending = false;
    std::string m_pendingKey;
    std::uint32_t m_pendingRecno = 0;
    // Entries read ahead during a long walk forward, served while the file is unchanged;
    // m_current is the one the order stands on while serving them.
    bool m_serving = false;
    std::string m_aheadKeys; // one key after another, each of the tag's key length
    std::vector<std::uint32_t> m_aheadRecnos;
    std::size_t m_aheadPos = 0;
    mutable std::string m_currentKey; // the served entry's key once key() has asked for it
    mutable bool m_currentKeyStale = false;
    std::uint32_t m_currentRecno = 0;
    std::uint32_t m_forwardRun = 0;
    std::uint64_t m_aheadBatch = 0;
};

} // namespace dbase
