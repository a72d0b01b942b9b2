#include "engine_support.h"

#include "dbase/table_tools.h"

#include <cstdio>

using namespace dbase;
using namespace enginetest;

namespace {

std::string dumpToString(Table& t) {
    char* data = nullptr;
    std::size_t size = 0;
    std::FILE* mem = ::open_memstream(&data, &size);
    dumpCsv(t, mem, "memory");
    std::fclose(mem);
    std::string out(data, size);
    std::free(data);
    return out;
}

} // namespace

TEST(TableTools, DumpWritesLiveRecordsAsUtf8Csv) {
    TempDir dir;
    Table::create(dir.path(), "T", mixedFields());
    Table t;
    t.open(dir.path(), "T");
    t.append();
    t.setFieldText("Name", "Caf\xE9, \"A\""); // Windows-1252 e-acute
    t.setFieldInteger("Qty", -3);
    t.setFieldText("Price", "12.5");
    t.setFieldDate("Bought", {1999, 12, 31});
    t.post();
    appendNamed(t, "Gone", 1);
    t.deleteRecord();
    t.append();
    t.setFieldText("Name", "two\nlines");
    t.post();
    t.append(); // blank record
    t.post();

    EXPECT_EQ(dumpToString(t), "NAME,QTY,PRICE,BOUGHT\n"
                               "\"Caf\u00E9, \"\"A\"\"\",-3,12.50,1999-12-31\n"
                               "\"two\nlines\",,,\n"
                               ",,,\n");

    // The filter applies to the dump as to any walk.
    t.setFilter([](const Table& tt) { return !tt.isBlank("Qty"); });
    EXPECT_EQ(dumpToString(t), "NAME,QTY,PRICE,BOUGHT\n"
                               "\"Caf\u00E9, \"\"A\"\"\",-3,12.50,1999-12-31\n");

    // Output that cannot be written is an error, not a short file passed off as complete.
    std::FILE* full = std::fopen("/dev/full", "w");
    if (full) {
        EXPECT_THROW(dumpCsv(t, full, "/dev/full"), DatabaseError);
        std::fclose(full);
    }
}

TEST(TableTools, DumpConvertsFromTheTablesCodePage) {
    TempDir dir;
    const fs::path file = dir.copyFixture("foreign-mdx/TEST3.DBF");
    std::string bytes = readFile(file);
    bytes[225 + 7] = '\x82'; // first CATEGORY byte; DOS 437 e-acute (language driver 0x1B)
    writeFile(file, bytes);
    Table t;
    t.openFile(file, OpenMode::ReadOnly, false);
    const std::string csv = dumpToString(t);
    EXPECT_NE(csv.find("1,\u00E9ools,Item 1,11.07,2024-01-01,T\n"), std::string::npos) << csv;
}

TEST(TableTools, CheckReportsDamagedRecordsAndOddities) {
    TempDir dir;
    const fs::path file = dir.copyFixture("foreign-mdx/TEST3.DBF");
    const fs::path mdx = dir.copyFixture("foreign-mdx/TEST3.MDX");
    CheckReport clean = checkTable(file);
    EXPECT_EQ(clean.problemCount, 0u);
    EXPECT_EQ(clean.records, 3u);
    EXPECT_EQ(clean.live, 3u);
    EXPECT_TRUE(clean.notes.empty());

    // Byte 28 names an index that is gone: the records read without it, so a note, not a
    // problem; only writing needs the index.
    fs::remove(mdx);
    const CheckReport noIndex = checkTable(file);
    EXPECT_EQ(noIndex.problemCount, 0u);
    ASSERT_EQ(noIndex.notes.size(), 1u);
    EXPECT_NE(noIndex.notes[0].find("TEST3.MDX"), std::string::npos);
    {
        Table readOnly;
        readOnly.openFile(file, OpenMode::ReadOnly);
        EXPECT_EQ(readOnly.missingIndex().filename(), "TEST3.MDX");
        EXPECT_EQ(readOnly.countVisible(), 3u);
        Table writer;
        EXPECT_THROW(writer.openFile(file, OpenMode::Shared), DatabaseError);
    }

    std::string bytes = readFile(file);
    const std::size_t rec1 = 225;
    const std::size_t rec2 = rec1 + 146;
    bytes.replace(rec1 + 1, 6, "  12x ");     // ID not a number
    bytes.replace(rec2 + 137, 8, "20240231"); // 31 February
    bytes[rec2 + 146] = '*';                  // third record deleted
    bytes[rec1] = '#';                        // odd deletion flag
    bytes.pop_back();                         // no end marker
    writeFile(file, bytes);

    const CheckReport r = checkTable(file);
    EXPECT_EQ(r.live, 2u);
    EXPECT_EQ(r.deleted, 1u);
    EXPECT_EQ(r.problemCount, 3u);
    std::string all;
    for (const std::string& p : r.problems)
        all += p + "\n";
    EXPECT_NE(all.find("record 1: deletion flag"), std::string::npos) << all;
    EXPECT_NE(all.find("field ID of record 1"), std::string::npos) << all;
    EXPECT_NE(all.find("field ADDED of record 2"), std::string::npos) << all;
    bool noMarker = false;
    for (const std::string& n : r.notes)
        noMarker |= n.find("end-of-file marker") != std::string::npos;
    EXPECT_TRUE(noMarker);

    writeFile(file, bytes.substr(0, 100));
    EXPECT_THROW(checkTable(file), DatabaseError);
}
