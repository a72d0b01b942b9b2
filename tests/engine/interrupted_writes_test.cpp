// Writes that die half-way (a killed process, a full disk, an I/O error) and the files they
// leave: the table and its index must stay readable, lose nothing, and be put right when the
// table is next opened.

#include "dbase/file_io.h"
#include "dbase/table_tools.h"
#include "engine_support.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

using namespace dbase;
using namespace enginetest;

namespace {

constexpr int kKilled = 77;
constexpr int kFinished = 0;

// Runs op on the table in a child process that dies at its k-th write, as a kill would.
// Answers kFinished when op made fewer writes than that.
template <class Op> int killedAtWrite(const fs::path& file, OpenMode mode, std::uint64_t k, Op op) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        int code = kFinished;
        try {
            Table t;
            t.openFile(file, mode);
            t.setIndex("NAMES");
            io::setWriteFault([k](std::uint64_t n) {
                if (n == k)
                    ::_exit(kKilled);
                return 0;
            });
            op(t);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "child failed: %s\n", e.what());
            code = 99;
        }
        ::_exit(code);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

// Opens the table as the program does and checks that every tag holds exactly the live
// records; answers their names in key order.
std::vector<std::string> openAndCheck(const fs::path& file, OpenMode mode = OpenMode::Shared) {
    Table t;
    t.openFile(file, mode);
    EXPECT_EQ(t.checkIndexes(), std::vector<std::string>{});
    std::set<std::uint32_t> live;
    for (t.first(); !t.eof(); t.next())
        live.insert(t.recordNumber());
    t.setIndex("NAMES");
    std::vector<std::string> names;
    std::set<std::uint32_t> inKeyOrder;
    for (t.first(); !t.eof(); t.next()) {
        names.push_back(t.fieldText("Name"));
        inKeyOrder.insert(t.recordNumber());
    }
    EXPECT_EQ(inKeyOrder, live);
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    return names;
}

std::vector<std::string> leftovers(const fs::path& dir) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        if (name != "T.DBF" && name != "T.MDX")
            out.push_back(name);
    }
    return out;
}

class InterruptedWrites : public ::testing::Test {
protected:
    void SetUp() override {
        m_file = Table::create(m_dir.path(), "T", mixedFields());
        Table t;
        t.openFile(m_file, OpenMode::Shared);
        for (int i = 0; i < 60; ++i)
            appendNamed(t, "N" + std::to_string(100 + (i * 37) % 60), i);
        t.addIndex("NAMES", "Upper(Name)");
        t.addIndex("QTY", "Qty");
        t.close();
        fs::copy_file(m_file, m_spare.file("T.DBF"));
        fs::copy_file(m_dir.file("T.MDX"), m_spare.file("T.MDX"));
    }
    // Back to the table as SetUp left it.
    void restore() {
        fs::copy_file(m_spare.file("T.DBF"), m_file, fs::copy_options::overwrite_existing);
        fs::copy_file(m_spare.file("T.MDX"), m_dir.file("T.MDX"),
                      fs::copy_options::overwrite_existing);
    }
    void TearDown() override { io::setWriteFault({}); }

    TempDir m_dir;
    TempDir m_spare;
    fs::path m_file;
};

} // namespace

TEST_F(InterruptedWrites, AWriterKilledAtAnyWriteIsRepairedWhenTheTableIsNextOpened) {
    struct Case {
        const char* what;
        OpenMode mode;
        std::function<void(Table&)> op;
        int recordsAdded;
    };
    const std::vector<Case> cases = {
        {"append", OpenMode::Shared, [](Table& t) { appendNamed(t, "A000", 1); }, 1},
        {"edit", OpenMode::Shared,
         [](Table& t) {
             t.first();
             t.edit();
             t.setFieldText("Name", "ZZZ");
             t.setFieldInteger("Qty", 999);
             t.post();
         },
         0},
        {"delete", OpenMode::Shared,
         [](Table& t) {
             t.first();
             t.deleteRecord();
         },
         0},
        {"pack", OpenMode::Exclusive,
         [](Table& t) {
             t.first();
             t.deleteRecord();
             t.pack();
         },
         0},
    };
    const std::uint32_t before = 60;
    for (const Case& c : cases) {
        int finishedAt = 0;
        for (std::uint64_t k = 1; k < 200 && finishedAt == 0; ++k) {
            restore();
            const int status = killedAtWrite(m_file, c.mode, k, c.op);
            ASSERT_TRUE(status == kKilled || status == kFinished)
                << c.what << " at write " << k << ": status " << status;
            if (status == kFinished)
                finishedAt = int(k);

            SCOPED_TRACE(std::string(c.what) + " killed at write " + std::to_string(k));
            const std::vector<std::string> names = openAndCheck(m_file);
            Table t;
            t.openFile(m_file, OpenMode::ReadOnly);
            const std::uint32_t after = t.recordCount();
            if (c.recordsAdded == 1) {
                EXPECT_TRUE(after == before || after == before + 1) << after;
            } else if (c.mode == OpenMode::Shared) {
                EXPECT_EQ(after, before);
            }
            EXPECT_GE(names.size(), 59u);
            t.close();

            // The next exclusive opener clears away what a killed pack or reindex left.
            Table exclusive;
            exclusive.openFile(m_file, OpenMode::Exclusive);
            exclusive.close();
            EXPECT_EQ(leftovers(m_dir.path()), std::vector<std::string>{});
        }
        EXPECT_GT(finishedAt, 3) << c.what << " never ran to its end";
    }
}

TEST_F(InterruptedWrites, AWriteThatFailsIsReportedAndLosesNothing) {
    // A full disk, then an I/O error, at every write of each operation in turn: the
    // operation fails with a DatabaseError or completes, and the files stay whole.
    const std::vector<std::pair<const char*, std::function<void(Table&)>>> ops = {
        {"append", [](Table& t) { appendNamed(t, "A000", 1); }},
        {"edit",
         [](Table& t) {
             t.setIndex("NAMES");
             t.last();
             t.edit();
             t.setFieldText("Name", "AAA");
             t.post();
         }},
        {"pack",
         [](Table& t) {
             t.first();
             t.deleteRecord();
             t.pack();
         }},
        {"regenerate", [](Table& t) { t.regenerateIndexes(); }},
        {"add a tag", [](Table& t) { t.addIndex("PRICE", "Price"); }},
    };
    for (const int err : {ENOSPC, EIO}) {
        for (const auto& [what, op] : ops) {
            bool completed = false;
            for (std::uint64_t k = 1; k < 200 && !completed; ++k) {
                SCOPED_TRACE(std::string(what) + " failing at write " + std::to_string(k));
                restore();
                {
                    Table t;
                    t.openFile(m_file, OpenMode::Exclusive);
                    io::setWriteFault([k, err = err](std::uint64_t n) { return n == k ? err : 0; });
                    try {
                        op(t);
                        completed = true;
                    } catch (const DatabaseError&) {
                    }
                    io::setWriteFault({});
                    // The table object is still usable after the failure.
                    EXPECT_GE(t.countVisible(), 59u);
                }
                const std::vector<std::string> names = openAndCheck(m_file);
                EXPECT_GE(names.size(), 59u);
                EXPECT_EQ(leftovers(m_dir.path()), std::vector<std::string>{});
            }
            EXPECT_TRUE(completed) << what;
        }
    }
}

namespace {

// Appends n records in one bulk batch, named so that they sort among the existing ones.
void appendInBatch(Table& t, int n) {
    t.beginBatch();
    try {
        for (int i = 0; i < n; ++i)
            appendNamed(t, "B" + std::to_string(1000 + (i * 7919) % n), i);
    } catch (...) {
        if (t.state() == TableState::Insert)
            t.cancel();
        try {
            t.endBatch();
        } catch (const DatabaseError&) {
        }
        throw;
    }
    t.endBatch();
}

} // namespace

TEST_F(InterruptedWrites, ABulkAppendLeavesTheIndexExactWhetherItAddsKeysOrRebuilds) {
    // 5 records beside 60 add their keys one by one; 300 rebuild the tags.
    for (const int n : {5, 300}) {
        SCOPED_TRACE(n);
        restore();
        {
            Table t;
            t.openFile(m_file, OpenMode::Shared);
            t.setIndex("NAMES");
            Table other;
            other.openFile(m_file, OpenMode::ReadOnly);
            t.beginBatch();
            for (int i = 0; i < n; ++i)
                appendNamed(t, "B" + std::to_string(1000 + (i * 7919) % n), i);
            // Another reader never sees a count past the records in the file.
            const std::uint32_t seen = other.recordCount();
            EXPECT_LE(seen, 60u + std::uint32_t(n));
            EXPECT_EQ(fs::file_size(m_file), std::uint64_t(t.headerLength()) +
                                                 std::uint64_t(60 + n) * t.recordLength() + 1);
            t.first();
            EXPECT_THROW(t.edit(), DatabaseError);
            EXPECT_THROW(t.deleteRecord(), DatabaseError);
            t.endBatch();
            EXPECT_EQ(t.recordCount(), 60u + std::uint32_t(n));
            EXPECT_EQ(t.checkIndexes(), std::vector<std::string>{});
        }
        const std::vector<std::string> names = openAndCheck(m_file);
        EXPECT_EQ(names.size(), 60u + std::size_t(n));
    }
}

TEST_F(InterruptedWrites, ABulkAppendThatFailsOrDiesKeepsTheRecordsBeforeAndAnExactIndex) {
    constexpr int kRecords = 300; // past the point where the batch first writes its count
    auto stepAfter = [](std::uint64_t k) { return k < 8 || k > 250 ? k + 1 : k + 23; };
    bool completed = false;
    for (std::uint64_t k = 1; k < 400 && !completed; k = stepAfter(k)) {
        SCOPED_TRACE("bulk append failing at write " + std::to_string(k));
        restore();
        {
            Table t;
            t.openFile(m_file, OpenMode::Shared);
            io::setWriteFault([k](std::uint64_t n) { return n == k ? ENOSPC : 0; });
            try {
                appendInBatch(t, kRecords);
                completed = true;
            } catch (const DatabaseError&) {
            }
            io::setWriteFault({});
        }
        const std::vector<std::string> names = openAndCheck(m_file);
        EXPECT_GE(names.size(), 60u);
        EXPECT_LE(names.size(), 60u + kRecords);
        if (completed) {
            EXPECT_EQ(names.size(), 60u + kRecords);
        }
    }
    EXPECT_TRUE(completed);

    int finishedAt = 0;
    for (std::uint64_t k = 1; k < 400 && finishedAt == 0; k = stepAfter(k)) {
        SCOPED_TRACE("bulk append killed at write " + std::to_string(k));
        restore();
        const int status = killedAtWrite(m_file, OpenMode::Shared, k,
                                         [](Table& t) { appendInBatch(t, kRecords); });
        ASSERT_TRUE(status == kKilled || status == kFinished) << status;
        if (status == kFinished)
            finishedAt = int(k);
        const std::vector<std::string> names = openAndCheck(m_file);
        EXPECT_GE(names.size(), 60u);
        EXPECT_LE(names.size(), 60u + kRecords);
    }
    EXPECT_GT(finishedAt, kRecords);
}
