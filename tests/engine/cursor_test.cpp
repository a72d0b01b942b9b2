#include "engine_support.h"

#include <algorithm>
#include <cstdio>

using namespace dbase;
using namespace enginetest;
using Names = std::vector<std::string>;

namespace {

class Cursor : public ::testing::Test {
protected:
    void SetUp() override {
        Table::create(m_dir.path(), "T", mixedFields());
        m_table.open(m_dir.path(), "T");
        for (int i = 1; i <= 6; ++i)
            appendNamed(m_table, "R" + std::to_string(i), i);
    }
    TempDir m_dir;
    Table m_table;
};

struct Recorder : TableObserver {
    std::vector<Change> changes;
    void tableChanged(const Table&, Change c) override { changes.push_back(c); }
};

} // namespace

TEST(CursorEmpty, EmptyTableHasBothEndsAndNoRecord) {
    TempDir dir;
    Table::create(dir.path(), "E", mixedFields());
    Table t;
    t.open(dir.path(), "E");
    EXPECT_TRUE(t.bof());
    EXPECT_TRUE(t.eof());
    EXPECT_EQ(t.recordNumber(), 0u);
    t.next();
    t.prior();
    t.last();
    EXPECT_TRUE(t.eof() && t.bof());
    EXPECT_TRUE(t.isBlank("Name"));
    EXPECT_THROW(t.edit(), DatabaseError);
    EXPECT_THROW(t.deleteRecord(), DatabaseError);
    EXPECT_EQ(t.countVisible(), 0u);
}

TEST_F(Cursor, WalksBothWaysAndStopsAtTheEnds) {
    EXPECT_EQ(walkNames(m_table), (Names{"R1", "R2", "R3", "R4", "R5", "R6"}));
    EXPECT_TRUE(m_table.eof());
    EXPECT_EQ(m_table.recordNumber(), 6u); // stays on the last record
    EXPECT_EQ(m_table.fieldText("Name"), "R6");

    Names back;
    for (m_table.last(); !m_table.bof(); m_table.prior())
        back.push_back(m_table.fieldText("Name"));
    EXPECT_EQ(back, (Names{"R6", "R5", "R4", "R3", "R2", "R1"}));
    EXPECT_EQ(m_table.recordNumber(), 1u);
    EXPECT_EQ(m_table.fieldText("Name"), "R1");
    m_table.next();
    EXPECT_FALSE(m_table.bof());
    EXPECT_EQ(m_table.fieldText("Name"), "R2");
}

TEST_F(Cursor, DeletedRecordsAreSkippedUntilPackRemovesThem) {
    m_table.first();
    m_table.deleteRecord();                     // R1
    EXPECT_EQ(m_table.fieldText("Name"), "R2"); // moved to the next record
    m_table.next();
    m_table.next();
    m_table.deleteRecord(); // R4
    EXPECT_EQ(m_table.fieldText("Name"), "R5");
    m_table.last();
    m_table.deleteRecord(); // R6: falls back to the one before
    EXPECT_EQ(m_table.fieldText("Name"), "R5");
    EXPECT_TRUE(m_table.eof());

    EXPECT_EQ(walkNames(m_table), (Names{"R2", "R3", "R5"}));
    EXPECT_EQ(m_table.recordCount(), 6u); // still in the file
    EXPECT_EQ(m_table.countVisible(), 3u);
    m_table.first();
    m_table.next();
    EXPECT_EQ(m_table.fieldText("Name"), "R3");

    // Pack needs exclusive use.
    try {
        m_table.pack();
        FAIL();
    } catch (const DatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("exclusive"), std::string::npos);
    }
    m_table.close();
    m_table.open(m_dir.path(), "T", OpenMode::Exclusive);
    const std::uint64_t before = fs::file_size(m_table.path());
    m_table.pack();
    EXPECT_EQ(m_table.recordCount(), 3u);
    EXPECT_EQ(walkNames(m_table), (Names{"R2", "R3", "R5"}));
    appendNamed(m_table, "R7", 7); // the table stays usable on the new file
    m_table.close();

    const std::uint64_t recLen = (before - 32 - 4 * 32 - 2) / 6;
    EXPECT_EQ(fs::file_size(m_dir.file("T.DBF")), 32 + 4 * 32 + 1 + 4 * recLen + 1);
    EXPECT_EQ(readFile(m_dir.file("T.DBF")).back(), '\x1A');
    int files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(m_dir.path()))
        ++files;
    EXPECT_EQ(files, 1); // no temporary left behind
    m_table.open(m_dir.path(), "T", OpenMode::ReadOnly);
    EXPECT_EQ(walkNames(m_table), (Names{"R2", "R3", "R5", "R7"}));
}

TEST_F(Cursor, FilterHidesRecordsAndRefreshAppliesAChangedFilter) {
    int threshold = 3;
    m_table.first();
    m_table.setFilter(
        [&](const Table& t) { return t.fieldInteger("Qty").value_or(0) > threshold; });
    m_table.refresh();
    EXPECT_EQ(m_table.fieldText("Name"), "R4"); // the current record was filtered out
    EXPECT_EQ(walkNames(m_table), (Names{"R4", "R5", "R6"}));
    EXPECT_EQ(m_table.countVisible(), 3u);
    EXPECT_EQ(m_table.recordCount(), 6u);

    m_table.last();
    threshold = 10;
    m_table.refresh();
    EXPECT_TRUE(m_table.isEmpty());
    EXPECT_TRUE(m_table.bof() && m_table.eof());

    // The filter sees the record number of the candidate, not of the current record.
    m_table.setFilter([](const Table& t) { return t.recordNumber() % 2 == 0; });
    m_table.refresh();
    EXPECT_EQ(walkNames(m_table), (Names{"R2", "R4", "R6"}));

    m_table.clearFilter();
    m_table.refresh();
    EXPECT_EQ(m_table.countVisible(), 6u);
}

TEST_F(Cursor, BookmarksReturnToTheRecordOrItsNeighbour) {
    m_table.first();
    m_table.next();
    m_table.next();
    const Bookmark mark = m_table.bookmark();
    EXPECT_EQ(m_table.fieldText("Name"), "R3");
    m_table.last();
    m_table.gotoBookmark(mark);
    EXPECT_EQ(m_table.fieldText("Name"), "R3");
    EXPECT_FALSE(m_table.eof());

    m_table.deleteRecord();
    m_table.first();
    m_table.gotoBookmark(mark); // R3 is gone: the next visible record
    EXPECT_EQ(m_table.fieldText("Name"), "R4");
    m_table.next();
    EXPECT_EQ(m_table.fieldText("Name"), "R5"); // and the walk goes on from there

    m_table.setFilter([](const Table& t) { return t.fieldText("Name") != "R4"; });
    m_table.gotoBookmark(mark);
    EXPECT_EQ(m_table.fieldText("Name"), "R5");

    EXPECT_THROW(m_table.gotoBookmark(Bookmark{}), DatabaseError);
    EXPECT_THROW(m_table.gotoBookmark(Bookmark{99}), DatabaseError);
}

TEST_F(Cursor, SharedOpenersSeeEachOthersAppendsAndEdits) {
    Table other;
    other.open(m_dir.path(), "T", OpenMode::Shared);
    appendNamed(other, "X7", 7);

    // Our walk reaches the new record at the end of the file without a refresh.
    m_table.last();
    EXPECT_EQ(m_table.fieldText("Name"), "X7");
    EXPECT_EQ(m_table.recordCount(), 7u);
    m_table.first();
    EXPECT_EQ(walkNames(m_table).size(), 7u);

    // Walking on at the end picks up a record appended meanwhile.
    appendNamed(other, "X8", 8);
    m_table.next();
    EXPECT_FALSE(m_table.eof());
    EXPECT_EQ(m_table.fieldText("Name"), "X8");

    // Edit re-reads the record, so a change made elsewhere is not overwritten.
    other.first();
    other.edit();
    other.setFieldText("Name", "Theirs");
    other.post();
    m_table.first();
    m_table.edit();
    EXPECT_EQ(m_table.fieldText("Name"), "Theirs");
    m_table.setFieldInteger("Qty", 42);

    // While we edit, the record is locked against the other opener.
    other.first();
    EXPECT_THROW(other.edit(), DatabaseError);
    EXPECT_THROW(other.deleteRecord(), DatabaseError);
    m_table.post();
    EXPECT_NO_THROW(other.edit());
    other.cancel();

    other.refresh();
    EXPECT_EQ(other.fieldInteger("Qty"), 42);
    EXPECT_EQ(other.fieldText("Name"), "Theirs");

    // A record deleted elsewhere cannot be edited here.
    other.deleteRecord();
    EXPECT_THROW(m_table.edit(), DatabaseError);
    EXPECT_EQ(m_table.state(), TableState::Browse);
}

TEST_F(Cursor, ObserversHearMovesAndChangesButNotWhileSuspended) {
    Recorder rec;
    m_table.attach(&rec);
    m_table.first();
    m_table.next();
    EXPECT_EQ(rec.changes, (std::vector<TableObserver::Change>{TableObserver::Change::Moved,
                                                               TableObserver::Change::Moved}));
    rec.changes.clear();
    m_table.edit();
    m_table.setFieldText("Name", "New");
    m_table.post();
    EXPECT_FALSE(rec.changes.empty());
    EXPECT_EQ(rec.changes.back(), TableObserver::Change::RecordChanged);

    rec.changes.clear();
    m_table.suspendUpdates();
    m_table.suspendUpdates(); // nests
    for (m_table.first(); !m_table.eof(); m_table.next()) {
        m_table.edit();
        m_table.setFieldInteger("Qty", 0);
        m_table.post();
    }
    appendNamed(m_table, "R7", 7);
    m_table.resumeUpdates();
    EXPECT_TRUE(rec.changes.empty());
    m_table.resumeUpdates();
    EXPECT_EQ(rec.changes,
              (std::vector<TableObserver::Change>{TableObserver::Change::DataChanged}));

    // Nothing happened while suspended: no notice on resume.
    rec.changes.clear();
    m_table.suspendUpdates();
    m_table.resumeUpdates();
    EXPECT_TRUE(rec.changes.empty());

    m_table.detach(&rec);
    m_table.first();
    EXPECT_TRUE(rec.changes.empty());
}

TEST_F(Cursor, WriteHookSeesEveryRecordWriteWithOldAndNewBytes) {
    struct Hook : RecordWriteHook {
        std::vector<std::tuple<std::uint32_t, std::string, std::string>> writes;
        bool refuse = false;
        int packs = 0;
        void write(Table&, std::uint32_t r, std::string_view b, std::string_view a,
                   const std::function<void()>& store) override {
            if (refuse)
                throw DatabaseError("refused");
            store();
            writes.emplace_back(r, std::string(b), std::string(a));
        }
        void packed(Table&) override { ++packs; }
    } hook;
    m_table.setWriteHook(&hook);
    appendNamed(m_table, "R7", 7);
    m_table.first();
    m_table.edit();
    m_table.setFieldText("Name", "E1");
    m_table.post();
    m_table.deleteRecord();
    ASSERT_EQ(hook.writes.size(), 3u);
    EXPECT_EQ(std::get<0>(hook.writes[0]), 7u);
    EXPECT_TRUE(std::get<1>(hook.writes[0]).empty());
    EXPECT_EQ(std::get<2>(hook.writes[0]).substr(0, 3), " R7");
    EXPECT_EQ(std::get<1>(hook.writes[1]).substr(0, 3), " R1");
    EXPECT_EQ(std::get<2>(hook.writes[1]).substr(0, 3), " E1");
    EXPECT_EQ(std::get<1>(hook.writes[2]).substr(0, 3), " E1");
    EXPECT_EQ(std::get<2>(hook.writes[2]).substr(0, 3), "*E1");

    // A refused write leaves the file alone and the edit open.
    hook.refuse = true;
    const std::string before = readFile(m_dir.file("T.DBF"));
    m_table.append();
    m_table.setFieldText("Name", "No");
    EXPECT_THROW(m_table.post(), DatabaseError);
    EXPECT_EQ(m_table.state(), TableState::Insert);
    m_table.cancel();
    EXPECT_EQ(readFile(m_dir.file("T.DBF")), before);
    m_table.setWriteHook(nullptr);
}

TEST_F(Cursor, AFilterThatThrowsLeavesTheCursorWhereItWas) {
    m_table.first();
    m_table.next();
    m_table.next();
    m_table.setFilter([](const Table& t) {
        if (t.fieldText("Name") == "R4")
            throw DatabaseError("unreadable");
        return true;
    });
    EXPECT_THROW(m_table.next(), DatabaseError);
    EXPECT_EQ(m_table.recordNumber(), 3u);
    EXPECT_EQ(m_table.fieldText("Name"), "R3");
    EXPECT_THROW(m_table.countVisible(), DatabaseError);
    EXPECT_EQ(m_table.fieldText("Name"), "R3");
    m_table.clearFilter();
    m_table.next();
    EXPECT_EQ(m_table.fieldText("Name"), "R4");
}

TEST_F(Cursor, AReplacementOrderDrivesEveryWalk) {
    // Stands in for an index tag: records in descending record number.
    struct Descending : RecordOrder {
        explicit Descending(Table& t) : table(t) {}
        std::uint32_t first() override { return pos = table.recordCount(); }
        std::uint32_t last() override { return pos = table.recordCount() > 0 ? 1 : 0; }
        std::uint32_t next() override { return pos <= 1 ? 0 : --pos; }
        std::uint32_t prior() override { return pos >= table.recordCount() ? 0 : ++pos; }
        void setPosition(std::uint32_t recNo, std::string_view) override { pos = recNo; }
        Table& table;
        std::uint32_t pos = 0;
    };
    m_table.setRecordOrder(std::make_unique<Descending>(m_table));
    EXPECT_EQ(m_table.fieldText("Name"), "R6");
    EXPECT_EQ(walkNames(m_table), (Names{"R6", "R5", "R4", "R3", "R2", "R1"}));

    m_table.first();
    m_table.next();
    m_table.next();
    m_table.deleteRecord(); // R4: the next record in this order is R3
    EXPECT_EQ(m_table.fieldText("Name"), "R3");
    m_table.setFilter([](const Table& t) { return t.fieldText("Name") != "R2"; });
    EXPECT_EQ(walkNames(m_table), (Names{"R6", "R5", "R3", "R1"}));
    EXPECT_EQ(m_table.countVisible(), 4u);

    const Bookmark mark = m_table.bookmark(); // on R1 after the walk
    m_table.first();
    m_table.gotoBookmark(mark);
    m_table.prior();
    EXPECT_EQ(m_table.fieldText("Name"), "R3");

    appendNamed(m_table, "R7", 7);
    m_table.next();
    EXPECT_EQ(m_table.fieldText("Name"), "R6"); // the walk goes on from the new record
    m_table.last();
    EXPECT_EQ(m_table.fieldText("Name"), "R1");

    m_table.clearFilter();
    m_table.setRecordOrder(nullptr);
    EXPECT_EQ(walkNames(m_table), (Names{"R1", "R2", "R3", "R5", "R6", "R7"}));
}

// A long walk in key order reads entries and records ahead in batches; what another writer
// changes meanwhile must still show: keys moved away or added ahead, and values edited ahead.
TEST(CursorKeyOrder, ALongWalkFollowsWhatAnotherWriterChangesAhead) {
    TempDir dir;
    Table::create(dir.path(), "T", mixedFields());
    Table a;
    a.open(dir.path(), "T");
    char name[16];
    constexpr int kRecords = 3000;
    for (int i = 0; i < kRecords; ++i) {
        std::snprintf(name, sizeof name, "N%05d", i * 7919 % kRecords); // key order != record order
        appendNamed(a, name, 1);
    }
    a.addIndex("ByName", "Name");
    a.setIndex("ByName");
    Table b;
    b.open(dir.path(), "T");
    b.setIndex("ByName");
    auto editNamed = [&](const std::string& from, const std::string& to, int qty) {
        for (b.first(); !b.eof(); b.next())
            if (b.fieldText("Name") == from) {
                b.edit();
                b.setFieldText("Name", to);
                b.setFieldInteger("Qty", qty);
                b.post();
                return;
            }
        FAIL() << from << " not found";
    };

    Names seen;
    int qtyOf503 = 0;
    for (a.first(); !a.eof(); a.next()) {
        seen.push_back(a.fieldText("Name"));
        if (seen.back() == "N00503")
            qtyOf503 = static_cast<int>(a.fieldInteger("Qty").value_or(0));
        if (seen.size() == 500) {             // just ahead of the walk: read ahead already
            editNamed("N00505", "A00000", 1); // moves behind the walk
            editNamed("N00503", "N00503", 7); // same key, new value
            appendNamed(b, "N00507X", 1);     // a new key ahead
        }
    }
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(std::adjacent_find(seen.begin(), seen.end()), seen.end()) << "a record seen twice";
    EXPECT_EQ(seen.size(), std::size_t{kRecords});
    EXPECT_NE(std::find(seen.begin(), seen.end(), "N00507X"), seen.end());
    EXPECT_EQ(std::find(seen.begin(), seen.end(), "N00505"), seen.end());
    EXPECT_EQ(qtyOf503, 7);
}

// Another program cuts the table short while a long walk in key order reads records from
// the mapped file ahead of it: the walk ends with an error naming the missing record, never
// a crash, and reading again after the cut is whole again.
TEST(CursorKeyOrder, ATableCutShortUnderALongWalkIsAnErrorNotACrash) {
    TempDir dir;
    Table::create(dir.path(), "T", mixedFields());
    Table a;
    a.open(dir.path(), "T");
    constexpr int kRecords = 4000;
    char name[16];
    for (int i = 0; i < kRecords; ++i) {
        std::snprintf(name, sizeof name, "N%05d", i * 7919 % kRecords);
        appendNamed(a, name, 1);
    }
    a.addIndex("ByName", "Name");
    a.setIndex("ByName");
    const std::uint64_t halfway = std::uint64_t(a.headerLength()) +
                                  std::uint64_t(kRecords / 2) * std::uint64_t(a.recordLength());

    std::string whole;
    {
        std::ifstream in(a.path(), std::ios::binary);
        whole.assign(std::istreambuf_iterator<char>(in), {});
    }
    // Twice: the second walk starts with the first walk's pages still mapped.
    for (int pass = 0; pass < 2; ++pass) {
        int seen = 0;
        std::string error;
        try {
            for (a.first(); !a.eof(); a.next())
                if (++seen == 1000)
                    std::filesystem::resize_file(a.path(), halfway);
        } catch (const DatabaseError& e) {
            error = e.what();
        }
        EXPECT_NE(error.find("cannot be read"), std::string::npos)
            << "pass " << pass << ": " << error;
        EXPECT_GE(seen, 1000);
        EXPECT_LT(seen, kRecords);
        std::ofstream(a.path(), std::ios::binary | std::ios::in | std::ios::out)
            .write(whole.data(), static_cast<std::streamsize>(whole.size()));
        a.refresh();
    }
}
