#include "mainwindow/viewer_rows.h"

#include "dbase/mdx_file.h"

namespace {

// Puts the cursor (and the selected tag) back however the walk ends; the observers hear of it
// once, as the last resume.
class WalkGuard {
public:
    explicit WalkGuard(dbase::Table& t) : m_table(t), m_mark(t.bookmark()), m_tag(t.indexName()) {
        m_table.suspendUpdates();
    }
    ~WalkGuard() {
        try {
            if (m_table.indexName() != m_tag)
                m_table.setIndex(m_tag);
            if (m_mark.isValid())
                m_table.gotoBookmark(m_mark);
        } catch (const dbase::DatabaseError&) {
            // The record went away meanwhile; the cursor stays where the walk left it.
        }
        m_table.resumeUpdates();
    }
    WalkGuard(const WalkGuard&) = delete;
    WalkGuard& operator=(const WalkGuard&) = delete;

private:
    dbase::Table& m_table;
    dbase::Bookmark m_mark;
    std::string m_tag;
};

// Walks the cursor in its present order.
std::vector<std::uint32_t> walk(dbase::Table& t) {
    std::vector<std::uint32_t> rows;
    t.first();
    while (!t.eof() && t.recordNumber() != 0) {
        rows.push_back(t.recordNumber());
        t.next();
    }
    return rows;
}

} // namespace

std::vector<std::uint32_t> tagRecordsInKeyOrder(dbase::Table& table, const std::string& tag) {
    // Reads the whole tag in one pass under the index's shared lock; the walk refuses a tree
    // that loops or names records past the end of the table.
    auto file = dbase::MdxFile::open(dbase::Table::indexPath(table.path()).string(), false);
    const auto entries = file->verifyTag(tag, table.recordCount());
    std::vector<std::uint32_t> records;
    records.reserve(entries.size());
    for (const auto& entry : entries)
        records.push_back(entry.second);
    return records;
}

std::vector<std::uint32_t> collectViewerRows(dbase::Table& table) {
    if (!table.isOpen())
        return {};
    WalkGuard guard(table);
    const std::string tag = table.indexName();
    if (tag.empty())
        return walk(table);

    // Following a tag record by record costs a seek per record; reading the tag whole and the
    // table front to back is many times faster. The front-to-back walk says which records are
    // visible (not deleted, accepted by the filter).
    std::vector<std::uint32_t> keyOrder = tagRecordsInKeyOrder(table, tag);
    table.setIndex({});
    std::vector<bool> visible(static_cast<std::size_t>(table.recordCount()) + 1, false);
    for (const std::uint32_t rec : walk(table))
        if (rec < visible.size())
            visible[rec] = true;
    std::size_t kept = 0;
    for (const std::uint32_t rec : keyOrder)
        if (rec < visible.size() && visible[rec]) {
            visible[rec] = false; // a tag names each record once; never show one twice
            keyOrder[kept++] = rec;
        }
    keyOrder.resize(kept);
    return keyOrder;
}
