#include "engine_support.h"

#include <csignal>
#include <cstdio>
#include <set>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace dbase;
using namespace enginetest;

namespace {

// A child process that opens the table in a mode, says so through a pipe, and holds it until
// told to go (or is killed).
class Holder {
public:
    Holder(const fs::path& dir, const std::string& name, OpenMode mode) {
        int ready[2];
        int go[2];
        if (::pipe(ready) != 0 || ::pipe(go) != 0)
            throw std::runtime_error("pipe");
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(ready[0]);
            ::close(go[1]);
            char status = 'y';
            Table t;
            try {
                t.open(dir, name, mode);
            } catch (const DatabaseError&) {
                status = 'n';
            }
            (void)!::write(ready[1], &status, 1);
            char c;
            (void)!::read(go[0], &c, 1); // returns when the parent closes its end
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(go[0]);
        m_go = go[1];
        char status = 'n';
        (void)!::read(ready[0], &status, 1);
        ::close(ready[0]);
        m_opened = status == 'y';
    }
    ~Holder() { release(); }
    bool opened() const { return m_opened; }
    void release() {
        if (m_pid <= 0)
            return;
        ::close(m_go);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
    void kill() {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        ::close(m_go);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
    int m_go = -1;
    bool m_opened = false;
};

// Runs body in a child process; answers its exit status.
template <class F> int inChild(F body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        int code = 1;
        try {
            code = body();
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

bool opens(const fs::path& dir, OpenMode mode, std::string* error = nullptr) {
    try {
        Table t;
        t.open(dir, "T", mode);
        return true;
    } catch (const DatabaseError& e) {
        if (error)
            *error = e.what();
        return false;
    }
}

} // namespace

TEST(Processes, ExclusiveUseIsRefusedWhileAnyoneHasTheTableOpen) {
    TempDir dir;
    Table::create(dir.path(), "T", mixedFields());

    for (OpenMode held : {OpenMode::Shared, OpenMode::ReadOnly}) {
        Holder other(dir.path(), "T", held);
        ASSERT_TRUE(other.opened());
        std::string error;
        EXPECT_FALSE(opens(dir.path(), OpenMode::Exclusive, &error));
        EXPECT_NE(error.find("T.DBF"), std::string::npos) << error;
        EXPECT_NE(error.find("busy"), std::string::npos) << error;
        EXPECT_TRUE(opens(dir.path(), OpenMode::Shared));
        EXPECT_TRUE(opens(dir.path(), OpenMode::ReadOnly));
        // Creating a new table over it would pull it from under the other program.
        EXPECT_THROW(Table::create(dir.path(), "T", mixedFields()), DatabaseError);
        other.release();
        EXPECT_TRUE(opens(dir.path(), OpenMode::Exclusive));
    }

    {
        Holder other(dir.path(), "T", OpenMode::Exclusive);
        ASSERT_TRUE(other.opened());
        EXPECT_FALSE(opens(dir.path(), OpenMode::Shared));
        EXPECT_FALSE(opens(dir.path(), OpenMode::ReadOnly));
        EXPECT_FALSE(opens(dir.path(), OpenMode::Exclusive));
    }

    // We hold it: the other process cannot get exclusive use, but can share.
    Table mine;
    mine.open(dir.path(), "T", OpenMode::Shared);
    EXPECT_FALSE(Holder(dir.path(), "T", OpenMode::Exclusive).opened());
    EXPECT_TRUE(Holder(dir.path(), "T", OpenMode::Shared).opened());
    mine.close();
    EXPECT_TRUE(Holder(dir.path(), "T", OpenMode::Exclusive).opened());
}

TEST(Processes, ADeadProcessReleasesTheTable) {
    TempDir dir;
    Table::create(dir.path(), "T", mixedFields());
    Holder other(dir.path(), "T", OpenMode::Exclusive);
    ASSERT_TRUE(other.opened());
    EXPECT_FALSE(opens(dir.path(), OpenMode::Shared));
    other.kill();
    EXPECT_TRUE(opens(dir.path(), OpenMode::Exclusive));
}

TEST(Processes, TwoProcessesAppendingAtOnceLoseNothing) {
    TempDir dir;
    Table::create(dir.path(), "T", mixedFields());
    constexpr int kEach = 1000;
    auto appender = [&](const std::string& who) {
        return [&dir, who] {
            Table t;
            t.open(dir.path(), "T", OpenMode::Shared);
            for (int i = 0; i < kEach; ++i)
                appendNamed(t, who, i);
            return 0;
        };
    };
    const pid_t a = ::fork();
    if (a == 0)
        ::_exit(inChild(appender("A")));
    const int statusB = inChild(appender("B"));
    int statusA = 0;
    ::waitpid(a, &statusA, 0);
    ASSERT_EQ(statusB, 0);
    ASSERT_TRUE(WIFEXITED(statusA) && WEXITSTATUS(statusA) == 0);

    Table t;
    t.open(dir.path(), "T", OpenMode::ReadOnly);
    EXPECT_EQ(t.recordCount(), 2u * kEach);
    std::set<std::pair<std::string, std::int64_t>> seen;
    for (t.first(); !t.eof(); t.next())
        seen.emplace(t.fieldText("Name"), *t.fieldInteger("Qty"));
    EXPECT_EQ(seen.size(), 2u * kEach);
    const std::string bytes = readFile(t.path());
    EXPECT_EQ(bytes.size(), 32 + 4 * 32 + 1 + 2u * kEach * t.recordLength() + 1);
    EXPECT_EQ(bytes.back(), '\x1A');
}

TEST(Processes, AFullDiskLosesNothing) {
    // The file size limit stands in for a full disk; it is set in a child process only.
    TempDir dir;
    Table::create(dir.path(), "T", mixedFields());
    {
        Table t;
        t.open(dir.path(), "T");
        for (int i = 0; i < 300; ++i)
            appendNamed(t, "R" + std::to_string(i), i);
        t.first();
        t.deleteRecord();
    }
    const fs::path file = dir.file("T.DBF");
    const std::string before = readFile(file);

    const int appendStatus = inChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{static_cast<rlim_t>(before.size()), static_cast<rlim_t>(before.size())};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        Table t;
        t.open(dir.path(), "T");
        try {
            appendNamed(t, "Big", 1);
        } catch (const DatabaseError& e) {
            return std::string(e.what()).find("T.DBF") != std::string::npos ? 0 : 2;
        }
        return 3;
    });
    EXPECT_EQ(appendStatus, 0);
    EXPECT_EQ(readFile(file).substr(0, 8), before.substr(0, 8)); // count unchanged

    const int packStatus = inChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        Table t;
        t.open(dir.path(), "T", OpenMode::Exclusive);
        try {
            t.pack();
        } catch (const DatabaseError&) {
            return 0;
        }
        return 3;
    });
    EXPECT_EQ(packStatus, 0);

    const std::string after = readFile(file);
    EXPECT_EQ(after.substr(0, 4), before.substr(0, 4));
    EXPECT_EQ(after.substr(4), before.substr(4));
    int files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path()))
        ++files;
    EXPECT_EQ(files, 1); // the abandoned pack file is gone
    Table t;
    t.open(dir.path(), "T");
    EXPECT_EQ(t.countVisible(), 299u);
}
