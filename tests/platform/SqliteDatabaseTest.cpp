#include "platform/SqliteDatabase.h"

#include <sys/wait.h>
#include <unistd.h>
#include <atomic>
#include <latch>

#include <fstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/TestHome.h"

namespace orvanpush::platform {
namespace {

namespace fs = std::filesystem;

constexpr auto privateFile = fs::perms::owner_read | fs::perms::owner_write;

// The integer in the first column of the first row of `sql`.
std::int64_t select(SqliteDatabase& database, std::string_view sql) {
    return database.withConnection([&](SqliteConnection& connection) {
        auto statement = connection.prepare(sql);
        EXPECT_TRUE(statement.step());
        return statement.integer(0);
    });
}

// Reads the counter and writes it back one higher in two statements, so an increment is only
// kept when the transaction really excludes other writers between the read and the write.
void incrementCounter(SqliteDatabase& database, int times) {
    for (int step = 0; step < times; ++step) {
        database.transaction([](SqliteConnection& connection) {
            auto select = connection.prepare("SELECT n FROM counter");
            select.step();
            const auto value = select.integer(0);
            select.reset();
            connection.prepare("UPDATE counter SET n = ?").bindInteger(1, value + 1).run();
        });
    }
}

class SqliteDatabaseTest : public ::testing::Test {
  protected:
    testing::TempDirectory directory_;
    fs::path file_ = directory_.path() / "test.sqlite";
};

TEST_F(SqliteDatabaseTest, CreatesPrivateFilesInWalModeNarrowsOldOnesAndRefusesLinks) {
    SqliteDatabase database(file_);
    database.execute("CREATE TABLE t (v); INSERT INTO t VALUES (1);");
    for (const auto* suffix : {"", "-wal", "-shm"}) {
        EXPECT_EQ(fs::status(file_.string() + suffix).permissions(), privateFile) << suffix;
    }
    EXPECT_EQ(select(database, "SELECT journal_mode = 'wal' FROM pragma_journal_mode"), 1);

    // Narrowed by its path: no descriptor of a file another connection may have open.
    const auto existing = directory_.path() / "existing.sqlite";
    SqliteDatabase(existing).execute("CREATE TABLE t (v)");
    fs::permissions(existing, fs::perms(0644));
    SqliteDatabase opened(existing);
    EXPECT_EQ(fs::status(existing).permissions(), privateFile);
    EXPECT_EQ(fs::status(existing.string() + "-lock").permissions(), privateFile);

    const auto target = directory_.path() / "target";
    std::ofstream(target) << "untouched";
    const auto link = directory_.path() / "link.sqlite";
    fs::create_symlink(target, link);
    EXPECT_THROW(SqliteDatabase{link}, TextError);
    EXPECT_EQ(fs::file_size(target), 9u);
}

TEST_F(SqliteDatabaseTest, BlobsComeBackVerbatimAndFailuresNameTheStatementAndTheCode) {
    SqliteDatabase database(file_);
    database.execute("CREATE TABLE t (k TEXT PRIMARY KEY); INSERT INTO t VALUES ('k');");
    EXPECT_THROW(database.execute("SELEC 1"), SqliteError);
    database.withConnection([](SqliteConnection& connection) {
        // An empty blob is no null.
        const Bytes bytes{0x00, 0xff, 0x00};
        auto row = connection.prepare("SELECT ?, ?");
        ASSERT_TRUE(row.bindBlob(1, bytes).bindBlob(2, Bytes{}).step());
        EXPECT_EQ(row.blob(0), bytes);
        EXPECT_EQ(row.columnType(1), SqliteType::blob);
        try {
            connection.prepare("INSERT INTO t VALUES (?)").bindText(1, "k").run();
            FAIL() << "a duplicate key was accepted";
        } catch (const SqliteError& error) {
            EXPECT_EQ(error.code(), 19);                     // SQLITE_CONSTRAINT
            EXPECT_EQ(error.extendedCode(), 19 | (6 << 8));  // SQLITE_CONSTRAINT_PRIMARYKEY
            EXPECT_THAT(error.what(), ::testing::HasSubstr("\"INSERT INTO t VALUES (?)\""));
            EXPECT_THAT(error.what(), ::testing::HasSubstr("UNIQUE constraint failed: t.k"));
        }
    });
}

TEST_F(SqliteDatabaseTest, TransactionCommitsOrRollsBackAsAWhole) {
    SqliteDatabase database(file_);
    database.execute("CREATE TABLE t (v)");
    database.transaction([](SqliteConnection& connection) {
        connection.execute("INSERT INTO t VALUES (1); INSERT INTO t VALUES (2);");
    });

    EXPECT_THROW(database.transaction([](SqliteConnection& connection) {
        connection.execute("INSERT INTO t VALUES (3)");
        throw std::runtime_error("abandoned");
    }),
                 std::runtime_error);
    // A failing statement after a good one, and a transaction begun inside another.
    for (const char* sql : {"INSERT INTO t VALUES (4); INSERT INTO missing VALUES (5);", "BEGIN"}) {
        EXPECT_THROW(database.transaction([&](SqliteConnection& connection) {
            connection.execute("INSERT INTO t VALUES (6)");
            connection.execute(sql);
        }),
                     SqliteError)
            << sql;
    }
    EXPECT_EQ(select(database, "SELECT group_concat(v) = '1,2' FROM t"), 1);
    database.transaction(
        [](SqliteConnection& connection) { connection.execute("INSERT INTO t VALUES (7)"); });
    EXPECT_EQ(select(database, "SELECT count(*) FROM t"), 3);
}

// The application and its extension may open a new file at the same moment; every opening
// succeeds, whoever switches the file to WAL.
TEST_F(SqliteDatabaseTest, ManyConnectionsOpeningOneNewFileAtOnceAllSucceed) {
    constexpr int files = 30;
    constexpr int openers = 4;
    std::atomic<int> failures{0};
    for (int index = 0; index < files; ++index) {
        const auto file = directory_.path() / ("new-" + std::to_string(index) + ".sqlite");
        std::latch start(openers);
        std::vector<std::thread> threads;
        for (int opener = 0; opener < openers; ++opener) {
            threads.emplace_back([&] {
                start.arrive_and_wait();
                try {
                    SqliteDatabase(file).execute("CREATE TABLE IF NOT EXISTS t (v)");
                } catch (const SqliteError&) {
                    ++failures;
                }
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
    }
    EXPECT_EQ(failures, 0);
}

TEST_F(SqliteDatabaseTest, ThreadsAndProcessesIncrementingAtOnceLoseNothing) {
    SqliteDatabase(file_).execute("CREATE TABLE counter (n); INSERT INTO counter VALUES (0);");
    constexpr int children = 3;
    constexpr int increments = 50;
    const auto incrementOwn = [this] {
        SqliteDatabase own(file_);
        incrementCounter(own, increments);
    };
    // No connection to the file is open across fork(): each process opens its own after it,
    // as SQLite requires. A child that throws ends abnormally.
    std::vector<pid_t> pids;
    for (int index = 0; index < children; ++index) {
        pids.push_back(::fork());
        if (pids.back() == 0) {
            incrementOwn();
            ::_exit(0);
        }
    }
    SqliteDatabase shared(file_);
    const auto incrementShared = [&] { incrementCounter(shared, increments); };
    std::thread threads[] = {std::thread(incrementShared), std::thread(incrementShared),
                             std::thread(incrementOwn), std::thread(incrementOwn)};
    for (auto& thread : threads) {
        thread.join();
    }
    for (const pid_t pid : pids) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child failed: " << status;
    }
    EXPECT_EQ(select(shared, "SELECT n FROM counter"), (children + 4) * increments);
}

}  // namespace
}  // namespace orvanpush::platform
