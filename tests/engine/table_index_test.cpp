#include "dbase/table_tools.h"
#include "engine_support.h"

#include <algorithm>
#include <map>
#include <random>

using namespace dbase;
using namespace enginetest;

namespace {

struct Item {
    std::string category;
    std::string cost; // as typed
    std::string date; // YYYYMMDD or ""
};

void appendItem(Table& t, const Item& item) {
    t.append();
    t.setFieldText("Category", item.category);
    t.setFieldText("Cost", item.cost);
    t.setFieldText("PurchDate", item.date);
    t.post();
}

// (category, record number) of the visible records in walking order.
std::vector<std::pair<std::string, std::uint32_t>> walk(Table& t) {
    std::vector<std::pair<std::string, std::uint32_t>> out;
    for (t.first(); !t.eof(); t.next())
        out.emplace_back(t.fieldText("Category"), t.recordNumber());
    return out;
}

std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = char(c - 32);
    return s;
}

// What a walk by Upper(Left(Category,80)) must give: upper-cased category, then record number.
std::vector<std::pair<std::string, std::uint32_t>>
expectedOrder(const std::map<std::uint32_t, std::string>& live) {
    std::vector<std::pair<std::string, std::uint32_t>> rows;
    for (const auto& [recno, category] : live)
        rows.emplace_back(category, recno);
    std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
        const std::string ua = upper(a.first), ub = upper(b.first);
        return ua != ub ? ua < ub : a.second < b.second;
    });
    return rows;
}

class TableIndex : public ::testing::Test {
protected:
    void SetUp() override {
        m_file = Table::create(m_dir.path(), "ITEMS", itemFields());
        m_table.openFile(m_file, OpenMode::Shared);
    }
    TempDir m_dir;
    fs::path m_file;
    Table m_table;
};

} // namespace

TEST_F(TableIndex, TagOrderFollowsEveryPostAndDelete) {
    const char* categories[] = {"tools", "Books", "apple", "TOOLS", "books", "Zebra", "", "cars"};
    std::map<std::uint32_t, std::string> live;
    for (int i = 0; i < 8; ++i) {
        appendItem(m_table, {categories[i], "1", ""});
        live[m_table.recordNumber()] = categories[i];
    }
    m_table.addIndex("NewIndex", "Upper(Left(Category,80))");
    EXPECT_TRUE(m_table.hasProductionIndex());
    EXPECT_EQ(readFile(m_file)[28], '\x01');
    EXPECT_TRUE(fs::exists(m_dir.file("ITEMS.MDX")));
    ASSERT_EQ(m_table.indexTags().size(), 1u);
    EXPECT_EQ(m_table.indexTags()[0].name, "NEWINDEX");
    EXPECT_EQ(m_table.indexTags()[0].keyLength, 20); // LEFT of a 20-wide field

    m_table.setIndex("newindex");
    EXPECT_EQ(m_table.indexName(), "NEWINDEX");
    EXPECT_EQ(walk(m_table), expectedOrder(live));

    // New records, edits that move a record, and deletes.
    appendItem(m_table, {"Boots", "2", ""});
    live[m_table.recordNumber()] = "Boots";
    EXPECT_EQ(m_table.fieldText("Category"), "Boots"); // the new record stays current
    ASSERT_TRUE(m_table.findKey("ZEBRA"));
    m_table.edit();
    m_table.setFieldText("Category", "aardvark");
    m_table.post();
    live[m_table.recordNumber()] = "aardvark";
    ASSERT_TRUE(m_table.findKey("TOOLS"));
    const std::uint32_t firstTools = m_table.recordNumber();
    EXPECT_EQ(firstTools, 1u); // equal keys in record order
    m_table.deleteRecord();
    live.erase(firstTools);
    EXPECT_EQ(m_table.fieldText("Category"), "TOOLS"); // the next in key order
    EXPECT_EQ(walk(m_table), expectedOrder(live));

    // Lookups: exact keys only for findKey; findNearest takes the next key up.
    const std::uint32_t firstInOrder = walk(m_table).front().second;
    m_table.first();
    EXPECT_FALSE(m_table.findKey("CAT"));
    EXPECT_EQ(m_table.recordNumber(), firstInOrder);
    m_table.findNearest("CA");
    EXPECT_EQ(m_table.fieldText("Category"), "cars");
    m_table.findNearest("ZZZ");
    EXPECT_TRUE(m_table.eof());
    EXPECT_EQ(m_table.fieldText("Category"), "TOOLS");
    // A filter hides records from the walk and the lookups alike.
    m_table.setFilter([](const Table& t) { return t.fieldText("Category") != "books"; });
    EXPECT_TRUE(m_table.findKey("BOOKS"));
    EXPECT_EQ(m_table.fieldText("Category"), "Books");
    m_table.clearFilter();

    // Record order again, then the index checks out clean.
    m_table.setIndex("");
    EXPECT_EQ(walk(m_table).front().second, 2u);
    EXPECT_TRUE(m_table.checkIndexes().empty());
    EXPECT_THROW(m_table.setIndex("NOSUCHTAG"), DatabaseError);
}

TEST_F(TableIndex, SortExpressionsOfEveryKindOrderTheWalk) {
    const Item items[] = {
        {"b", "12.5", "19990101"}, {"a", "-3", "20240229"}, {"b", "7", ""},
        {"a", "100", "20000101"},  {"b", "7", "19980615"},  {"A", "", "20240101"}};
    for (const Item& i : items)
        appendItem(m_table, i);
    // Category, then money as 12-character text, then purchase date.
    m_table.addIndex("NewIndex", "Upper(Left(Category,40))+STR(Cost,12,2)+DTOS(PurchDate)");
    m_table.addIndex("ByDate", "PurchDate");
    m_table.addIndex("ByCost", "Cost");
    m_table.setIndex("NewIndex");
    std::vector<std::uint32_t> order;
    for (m_table.first(); !m_table.eof(); m_table.next())
        order.push_back(m_table.recordNumber());
    // "A" blank cost is "        0.00"; "-3.00" right-aligned sorts before "100.00" as text.
    EXPECT_EQ(order, (std::vector<std::uint32_t>{6, 2, 4, 3, 5, 1}));
    m_table.setIndex("ByDate");
    order.clear();
    for (m_table.first(); !m_table.eof(); m_table.next())
        order.push_back(m_table.recordNumber());
    EXPECT_EQ(order, (std::vector<std::uint32_t>{5, 1, 4, 6, 2, 3})); // blank date last
    EXPECT_TRUE(m_table.findKey("20000101"));
    EXPECT_EQ(m_table.recordNumber(), 4u);
    m_table.setIndex("ByCost");
    order.clear();
    for (m_table.first(); !m_table.eof(); m_table.next())
        order.push_back(m_table.recordNumber());
    EXPECT_EQ(order, (std::vector<std::uint32_t>{2, 6, 3, 5, 1, 4})); // by value
    EXPECT_TRUE(m_table.findKey("7.00"));
    EXPECT_EQ(m_table.recordNumber(), 3u);
    EXPECT_THROW(m_table.findKey("seven"), DatabaseError);

    // Deleting tags: the last one takes the file and byte 28 with it.
    m_table.deleteIndex("bycost");
    EXPECT_EQ(m_table.indexName(), "");
    EXPECT_EQ(m_table.indexTags().size(), 2u);
    m_table.deleteIndex("NEWINDEX");
    EXPECT_THROW(m_table.deleteIndex("NEWINDEX"), DatabaseError);
    m_table.deleteIndex("ByDate");
    EXPECT_FALSE(fs::exists(m_dir.file("ITEMS.MDX")));
    EXPECT_EQ(readFile(m_file)[28], '\0');
    EXPECT_TRUE(m_table.indexTags().empty());
    // A bad expression is refused and leaves no index behind.
    EXPECT_THROW(m_table.addIndex("NewIndex", "Upper(Left(Colour,80))"), DatabaseError);
    EXPECT_FALSE(fs::exists(m_dir.file("ITEMS.MDX")));
    EXPECT_EQ(readFile(m_file)[28], '\0');
}

TEST_F(TableIndex, ANewTableOverAnOldOneLeavesNoIndexBehind) {
    appendItem(m_table, {"tools", "1", ""});
    m_table.addIndex("NewIndex", "Upper(Left(Category,80))");
    m_table.close();
    Table::create(m_dir.path(), "ITEMS", itemFields());
    EXPECT_FALSE(fs::exists(m_dir.file("ITEMS.MDX")));
    m_table.openFile(m_file, OpenMode::Shared);
    EXPECT_TRUE(m_table.indexTags().empty());
    m_table.addIndex("NewIndex", "Upper(Left(Category,80))");
    EXPECT_EQ(m_table.indexTags().size(), 1u);
}

TEST_F(TableIndex, AMissingIndexIsAnErrorNamingIt) {
    appendItem(m_table, {"tools", "1", ""});
    m_table.addIndex("NewIndex", "Upper(Left(Category,80))");
    m_table.close();
    fs::remove(m_dir.file("ITEMS.MDX"));
    Table t;
    try {
        t.openFile(m_file, OpenMode::Shared);
        ADD_FAILURE() << "opened";
    } catch (const DatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("ITEMS.MDX"), std::string::npos) << e.what();
    }
    // With byte 28 cleared the table opens without an index.
    std::string bytes = readFile(m_file);
    bytes[28] = 0;
    writeFile(m_file, bytes);
    t.openFile(m_file, OpenMode::Shared);
    EXPECT_FALSE(t.hasIndex());
}

TEST_F(TableIndex, DamagedIndexIsReportedAndRegenerateRepairsIt) {
    std::map<std::uint32_t, std::string> live;
    std::mt19937 rng(5);
    for (int i = 0; i < 600; ++i) {
        const std::string c = "cat" + std::to_string(rng() % 100);
        appendItem(m_table, {c, "1", ""});
        live[m_table.recordNumber()] = c;
    }
    m_table.addIndex("NewIndex", "Upper(Left(Category,80))");
    m_table.close();

    // Garble the first leaf: swap its first two keys, and point an entry past the table.
    std::string mdx = readFile(m_dir.file("ITEMS.MDX"));
    const std::size_t leaf = 6 * 512, group = 24;
    std::swap_ranges(mdx.begin() + leaf + 12, mdx.begin() + leaf + 12 + 20,
                     mdx.begin() + leaf + 12 + group);
    mdx[leaf + 8 + 5 * group + 1] = 0x7F;
    writeFile(m_dir.file("ITEMS.MDX"), mdx);

    m_table.openFile(m_file, OpenMode::Shared);
    m_table.setIndex("NEWINDEX");
    EXPECT_THROW(walk(m_table), DatabaseError);
    const auto problems = m_table.checkIndexes();
    ASSERT_FALSE(problems.empty());
    EXPECT_NE(problems[0].find("ITEMS.MDX"), std::string::npos) << problems[0];
    const CheckReport report = checkTable(m_file);
    EXPECT_GT(report.problemCount, 0u);

    m_table.regenerateIndexes();
    EXPECT_TRUE(m_table.checkIndexes().empty());
    EXPECT_EQ(m_table.indexName(), "NEWINDEX");
    EXPECT_EQ(walk(m_table), expectedOrder(live));
    EXPECT_EQ(checkTable(m_file).problemCount, 0u);

    // A header that disagrees with the file's size stops the open, naming the index.
    m_table.close();
    mdx = readFile(m_dir.file("ITEMS.MDX"));
    writeFile(m_dir.file("ITEMS.MDX"), mdx.substr(0, mdx.size() - 512));
    try {
        m_table.openFile(m_file, OpenMode::Shared);
        ADD_FAILURE() << "opened";
    } catch (const DatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("ITEMS.MDX"), std::string::npos) << e.what();
    }
    // Regenerating repairs it from what its tag table still says, as does a garbled tag
    // header.
    for (int damage = 0; damage < 2; ++damage) {
        if (damage == 1) {
            mdx = readFile(m_dir.file("ITEMS.MDX"));
            mdx[4 * 512 + 18] = 0x55; // entry length
            writeFile(m_dir.file("ITEMS.MDX"), mdx);
            EXPECT_THROW(m_table.openFile(m_file, OpenMode::Shared), DatabaseError);
        }
        m_table.openFile(m_file, OpenMode::Exclusive, false);
        m_table.regenerateIndexes();
        ASSERT_TRUE(m_table.hasIndex());
        m_table.close();
        m_table.openFile(m_file, OpenMode::Shared);
        m_table.setIndex("NewIndex");
        EXPECT_EQ(walk(m_table), expectedOrder(live));
        EXPECT_TRUE(m_table.checkIndexes().empty());
        m_table.close();
    }
    // Nothing left to read: the error says so.
    writeFile(m_dir.file("ITEMS.MDX"), std::string(1000, 'x'));
    m_table.openFile(m_file, OpenMode::Exclusive, false);
    EXPECT_THROW(m_table.regenerateIndexes(), DatabaseError);
}

TEST_F(TableIndex, PackRegeneratesAndManyEditsKeepTheTagRight) {
    std::map<std::uint32_t, std::string> live;
    std::mt19937 rng(9);
    auto category = [&] {
        return std::string(1, char('a' + rng() % 26)) + std::to_string(rng() % 30);
    };
    for (int i = 0; i < 1500; ++i) {
        const std::string c = category();
        appendItem(m_table, {c, "1", ""});
        live[m_table.recordNumber()] = c;
    }
    m_table.addIndex("NewIndex", "Upper(Left(Category,80))");
    m_table.setIndex("NewIndex");
    for (int i = 0; i < 1500; ++i) {
        const int kind = int(rng() % 3);
        if (kind == 0) {
            const std::string c = category();
            appendItem(m_table, {c, "1", ""});
            live[m_table.recordNumber()] = c;
            continue;
        }
        auto it = live.begin();
        std::advance(it, long(rng() % live.size()));
        ASSERT_TRUE(m_table.findKey(upper(it->second)));
        while (m_table.recordNumber() != it->first)
            m_table.next();
        if (kind == 1) {
            const std::string c = category();
            m_table.edit();
            m_table.setFieldText("Category", c);
            m_table.post();
            it->second = c;
        } else {
            m_table.deleteRecord();
            live.erase(it);
        }
    }
    EXPECT_EQ(walk(m_table), expectedOrder(live));
    EXPECT_TRUE(m_table.checkIndexes().empty());

    m_table.close();
    m_table.openFile(m_file, OpenMode::Exclusive);
    m_table.setIndex("NewIndex");
    m_table.pack();
    // Records were renumbered; the walk gives the same categories in the same order.
    std::vector<std::string> want, got;
    for (const auto& [c, r] : expectedOrder(live))
        want.push_back(c);
    for (const auto& [c, r] : walk(m_table))
        got.push_back(c);
    EXPECT_EQ(got, want);
    EXPECT_EQ(m_table.recordCount(), live.size());
    EXPECT_TRUE(m_table.checkIndexes().empty());
}

// Two opens of one table stand for two copies of the program sharing it.
TEST_F(TableIndex, ASecondCopySeesTheOthersChangesInKeyOrder) {
    for (const char* c : {"m", "c", "x"})
        appendItem(m_table, {c, "1", ""});
    Table other;
    other.openFile(m_file, OpenMode::Shared);
    // The first tag arrives while the other copy is open; its writes follow it.
    m_table.addIndex("NewIndex", "Upper(Left(Category,80))");
    appendItem(other, {"a", "1", ""});
    other.first();
    other.edit();
    other.setFieldText("Category", "z");
    other.post();
    m_table.setIndex("NewIndex");
    std::vector<std::string> cats;
    for (const auto& [c, r] : walk(m_table))
        cats.push_back(c);
    EXPECT_EQ(cats, (std::vector<std::string>{"a", "c", "x", "z"}));

    // Each sees the other's posts the next time it reads.
    other.setIndex("newindex");
    m_table.first();
    appendItem(other, {"b", "1", ""});
    m_table.next();
    EXPECT_EQ(m_table.fieldText("Category"), "b");
    m_table.edit();
    m_table.setFieldText("Category", "y");
    m_table.post();
    cats.clear();
    for (const auto& [c, r] : walk(other))
        cats.push_back(c);
    EXPECT_EQ(cats, (std::vector<std::string>{"a", "c", "x", "y", "z"}));
    EXPECT_TRUE(other.checkIndexes().empty());
}

TEST(TableIndexForeign, ForeignTagsWalkAndFollowEdits) {
    for (const char* name : {"BIG", "TB", "ND"}) {
        SCOPED_TRACE(name);
        TempDir dir;
        const fs::path file = dir.copyFixture(std::string("foreign-mdx/") + name + ".DBF");
        dir.copyFixture(std::string("foreign-mdx/") + name + ".MDX");
        Table t;
        t.openFile(file, OpenMode::Shared);
        ASSERT_TRUE(t.hasIndex());
        EXPECT_TRUE(t.checkIndexes().empty());
        t.setIndex("NewIndex");
        std::vector<std::string> keys;
        for (t.first(); !t.eof(); t.next())
            keys.push_back(t.fieldText("CATEGORY").substr(0, 80));
        EXPECT_EQ(keys.size(), t.recordCount());
        EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end(), [&](auto& a, auto& b) {
            return std::string(name) == "TB" ? a < b : upper(a) < upper(b);
        }));
        t.first();
        t.edit();
        t.setFieldText("CATEGORY", "zzz last");
        t.post();
        t.last();
        EXPECT_EQ(t.fieldText("CATEGORY"), "zzz last");
        EXPECT_TRUE(t.checkIndexes().empty());
        t.close();
        t.openFile(file, OpenMode::Exclusive);
        t.regenerateIndexes();
        EXPECT_TRUE(t.checkIndexes().empty());
        EXPECT_EQ(t.indexTags().size(), std::string(name) == "ND" ? 4u : 1u);
    }
}

TEST_F(TableIndex, AnEmptyTableGetsATagAndFillsIt) {
    m_table.addIndex("NewIndex", "Upper(Left(Category,80))");
    m_table.setIndex("NewIndex");
    EXPECT_TRUE(m_table.isEmpty());
    EXPECT_FALSE(m_table.findKey("TOOLS"));
    m_table.findNearest("TOOLS");
    EXPECT_TRUE(m_table.isEmpty());
    appendItem(m_table, {"tools", "1", ""});
    appendItem(m_table, {"art", "1", ""});
    EXPECT_EQ(walk(m_table),
              (std::vector<std::pair<std::string, std::uint32_t>>{{"art", 2}, {"tools", 1}}));
    m_table.last();
    m_table.deleteRecord();
    m_table.first();
    m_table.deleteRecord();
    EXPECT_TRUE(walk(m_table).empty());
    EXPECT_TRUE(m_table.checkIndexes().empty());
}

TEST_F(TableIndex, TheRowMapListsWhatAWalkSeesInItsOrder) {
    // Enough records for several leaves and interior nodes, equal keys among them.
    std::mt19937 rng(11);
    for (int i = 0; i < 3000; ++i)
        appendItem(m_table, {"c" + std::to_string(rng() % 97), std::to_string(i), ""});
    m_table.addIndex("NewIndex", "Upper(Left(Category,80))");
    for (int i = 0; i < 200; ++i) {
        m_table.gotoBookmark({static_cast<std::uint32_t>(1 + rng() % 3000)});
        m_table.deleteRecord();
    }
    auto recnos = [](const std::vector<std::pair<std::string, std::uint32_t>>& rows) {
        std::vector<std::uint32_t> out;
        for (const auto& row : rows)
            out.push_back(row.second);
        return out;
    };
    const int cost = m_table.fieldIndex("Cost");
    for (const char* tag : {"", "NewIndex"}) {
        for (const bool filtered : {false, true}) {
            SCOPED_TRACE(std::string(tag) + (filtered ? ", filtered" : ""));
            m_table.setIndex(tag);
            if (filtered)
                m_table.setFilter(
                    [cost](const Table& t) { return t.fieldBytes(cost).back() % 3 == 0; });
            else
                m_table.clearFilter();
            m_table.first();
            m_table.next();
            const std::uint32_t here = m_table.recordNumber();
            const std::vector<std::uint32_t> rows = m_table.visibleRecordNumbers();
            EXPECT_EQ(m_table.recordNumber(), here);
            EXPECT_EQ(rows, recnos(walk(m_table)));
            EXPECT_EQ(rows.size(), m_table.countVisible());
            // Landing on a row from the map shows that row's record.
            m_table.gotoBookmark({rows[rows.size() / 2]});
            EXPECT_EQ(m_table.recordNumber(), rows[rows.size() / 2]);
        }
    }
}
