// Indexes that disagree with their table or were damaged or crafted: the table still opens,
// the fault is a DatabaseError, and regenerating puts right whatever can be put right.

#include "dbase/table_tools.h"
#include "engine_support.h"

#include <cstring>

using namespace dbase;
using namespace enginetest;

namespace {

std::uint32_t u32At(const std::string& b, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
    return v;
}

void putU32(std::string& b, std::size_t at, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i)
        b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// MDX places: tag table entry i at 544 + 32 i (header page, then the name at 4); in the tag
// header block, the root page at 0, flags at 8, the entry length at 18, the expression at 24.
constexpr std::size_t kSlot = 544;
std::size_t tagHeader(const std::string& mdx, int tag) {
    return std::size_t(u32At(mdx, kSlot + 32 * std::size_t(tag))) * 512;
}

std::vector<std::string> namesInKeyOrder(Table& t) {
    t.setIndex("NAMES");
    return walkNames(t);
}

class DamagedIndex : public ::testing::Test {
protected:
    void make(const std::vector<std::string>& names) {
        m_file = Table::create(m_dir.path(), "T", mixedFields());
        Table t;
        t.openFile(m_file, OpenMode::Shared);
        int qty = 0;
        for (const std::string& n : names)
            appendNamed(t, n, ++qty);
        t.addIndex("NAMES", "Upper(Name)");
    }
    fs::path mdx() const { return m_dir.file("T.MDX"); }

    TempDir m_dir;
    fs::path m_file;
};

} // namespace

TEST_F(DamagedIndex, RecordsPastTheEndStillLetTheTableOpenAndBeRegenerated) {
    // What a pack killed after its rename leaves, and a header counting fewer records than
    // the file holds: the tag names records 6 to 10, which the table no longer has.
    make({"j", "i", "h", "g", "f", "e", "d", "c", "b", "a"});
    std::string dbf = readFile(m_file);
    putU32(dbf, 4, 5);
    writeFile(m_file, dbf);

    EXPECT_GT(checkTable(m_file).problemCount, 0u);
    {
        Table t;
        t.openFile(m_file, OpenMode::Shared);
        EXPECT_THROW(t.setIndex("NAMES"), DatabaseError);
        // Still open, in record order, with every record the header counts.
        EXPECT_EQ(t.indexName(), "");
        EXPECT_EQ(walkNames(t), (std::vector<std::string>{"j", "i", "h", "g", "f"}));
    }
    // Rebuild Indexes (and the command-line reindex, which opens without the index).
    for (const bool withIndex : {true, false}) {
        Table t;
        t.openFile(m_file, OpenMode::Exclusive, withIndex);
        EXPECT_TRUE(t.regenerateIndexes().empty());
        EXPECT_EQ(t.checkIndexes(), std::vector<std::string>{});
        EXPECT_EQ(namesInKeyOrder(t), (std::vector<std::string>{"f", "g", "h", "i", "j"}));
    }
    EXPECT_EQ(checkTable(m_file).problemCount, 0u);
}

TEST_F(DamagedIndex, ACraftedTreeWhoseChildrenShareAPageIsRefusedAtOnce) {
    make({});
    // Six interior nodes, each with every child pointer on the next, over one empty leaf:
    // walked naively that is 63^6 visits.
    std::string b = readFile(mdx());
    const std::size_t header = tagHeader(b, 0);
    const std::uint32_t group = static_cast<unsigned char>(b[header + 18]);
    const std::uint32_t children = (1024 - 12) / group; // maxKeys - 1 entries + the last
    std::uint32_t page = u32At(b, 32);
    const std::uint32_t root = page;
    b.resize(std::size_t(page) * 512);
    for (int level = 0; level < 6; ++level, page += 2) {
        std::string node(1024, '\0');
        putU32(node, 0, children - 1);
        for (std::uint32_t i = 0; i < children; ++i)
            putU32(node, 8 + i * group, page + 2);
        b += node;
    }
    b += std::string(1024, '\0'); // the empty leaf
    putU32(b, 32, page + 2);
    putU32(b, header, root);
    writeFile(mdx(), b);

    Table t;
    t.openFile(m_file, OpenMode::Shared);
    EXPECT_THROW(t.setIndex("NAMES"), DatabaseError);
    EXPECT_FALSE(t.checkIndexes().empty());
    t.close();
    t.openFile(m_file, OpenMode::Exclusive);
    t.regenerateIndexes();
    EXPECT_TRUE(namesInKeyOrder(t).empty());
}

TEST_F(DamagedIndex, AUniqueTagHoldsOneRecordPerKeyAndChecksClean) {
    make({"b", "A", "B", "c", "a"});
    std::string b = readFile(mdx());
    b[tagHeader(b, 0) + 8] |= 0x40; // UNIQUE, as other programs write it
    writeFile(mdx(), b);

    Table t;
    t.openFile(m_file, OpenMode::Exclusive);
    t.regenerateIndexes();
    EXPECT_EQ(t.checkIndexes(), std::vector<std::string>{});
    EXPECT_EQ(namesInKeyOrder(t), (std::vector<std::string>{"A", "b", "c"}));
    appendNamed(t, "C", 6); // a key already there: not added again
    appendNamed(t, "d", 7);
    EXPECT_EQ(namesInKeyOrder(t), (std::vector<std::string>{"A", "b", "c", "d"}));
    EXPECT_EQ(t.checkIndexes(), std::vector<std::string>{});
    t.close();
    EXPECT_EQ(checkTable(m_file).problemCount, 0u);
}

TEST_F(DamagedIndex, OneGarbledTagDoesNotCostTheOthers) {
    make({"b", "a"});
    {
        Table t;
        t.openFile(m_file, OpenMode::Shared);
        t.addIndex("QTY", "Qty");
        t.addIndex("PRICE", "Price");
    }
    std::string b = readFile(mdx());
    std::memcpy(&b[tagHeader(b, 1) + 24], "Qtyy\0", 5); // no such field
    b[kSlot + 2 * 32 + 4] = '\x01';                     // PRICE's name garbled
    writeFile(mdx(), b);
    const std::string damaged = b;

    for (const bool withIndex : {true, false}) {
        writeFile(mdx(), damaged);
        Table t;
        t.openFile(m_file, OpenMode::Exclusive, withIndex);
        const std::vector<std::string> notes = t.regenerateIndexes();
        ASSERT_EQ(notes.size(), 2u);
        EXPECT_NE(notes[0].find("tag QTY could not be rebuilt"), std::string::npos) << notes[0];
        EXPECT_NE(notes[1].find("tag ?RICE could not be rebuilt"), std::string::npos) << notes[1];
        ASSERT_EQ(t.indexTags().size(), 1u);
        EXPECT_EQ(namesInKeyOrder(t), (std::vector<std::string>{"a", "b"}));
        EXPECT_EQ(t.checkIndexes(), std::vector<std::string>{});
    }
}

TEST_F(DamagedIndex, AFlagNamingAMissingIndexIsReportedAndCleared) {
    make({"b", "a"});
    fs::remove(mdx());
    EXPECT_EQ(checkTable(m_file).notes.size(), 1u);
    Table t;
    t.openFile(m_file, OpenMode::Exclusive, false);
    const std::vector<std::string> notes = t.regenerateIndexes();
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("T.MDX is missing"), std::string::npos) << notes[0];
    EXPECT_FALSE(t.hasProductionIndex());
    t.close();
    EXPECT_EQ(readFile(m_file)[28], '\0');
    EXPECT_EQ(checkTable(m_file).problemCount, 0u);
}
