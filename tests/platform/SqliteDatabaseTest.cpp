#include "platform/SqliteDatabase.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <latch>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "orvanpush/TextError.h"
#include "platform/MessageDatabase.h"
#include "support/SqliteOracle.h"
#include "support/TestHome.h"

namespace orvanpush::platform {
namespace {

namespace fs = std::filesystem;
using testing::commandOutput;

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
    fs::path file_ = directory_.path() / "StorageModel.sqlite";  // where earlier versions left it
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

// Runs `open` on `openers` threads at once; gives how many of them threw.
int failuresOpeningAtOnce(int openers, const std::function<void()>& open) {
    std::latch start(openers);
    std::atomic<int> failures{0};
    std::vector<std::jthread> threads;
    for (int opener = 0; opener < openers; ++opener) {
        threads.emplace_back([&] {
            start.arrive_and_wait();
            try {
                open();
            } catch (const std::exception&) {
                ++failures;
            }
        });
    }
    threads.clear();
    return failures;
}

// The application and its extension may open a new file at the same moment; every opening
// succeeds, whoever switches the file to WAL.
TEST_F(SqliteDatabaseTest, ManyConnectionsOpeningOneNewFileAtOnceAllSucceed) {
    for (int index = 0; index < 30; ++index) {
        const auto file = directory_.path() / ("new-" + std::to_string(index) + ".sqlite");
        EXPECT_EQ(failuresOpeningAtOnce(
                      4, [&] { SqliteDatabase(file).execute("CREATE TABLE IF NOT EXISTS t (v)"); }),
                  0);
    }
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

std::int64_t integerOf(MessageDatabase& database, const std::string& sql) {
    return database.read([&](MessageDatabase::Session& session) {
        auto& select = session.statement(sql);
        select.step();
        return select.integer(0);
    });
}

using MessageDatabaseTest = SqliteDatabaseTest;

TEST_F(MessageDatabaseTest, OpeningsRacingCreateTheSchemaOnceAndSessionsKeepNoSnapshotOfIt) {
    EXPECT_EQ(failuresOpeningAtOnce(4, [&] { MessageDatabase database(directory_.path()); }), 0);
    MessageDatabase database(directory_.path());
    EXPECT_EQ(integerOf(database, "SELECT count(*) FROM sqlite_master WHERE name = 'Message'"), 1);
    EXPECT_EQ(integerOf(database, "PRAGMA user_version"), MessageDatabase::schemaVersion);
    EXPECT_EQ(integerOf(database, "PRAGMA foreign_keys"), 1);
    // Every foreign-key column has an index of its own.
    EXPECT_EQ(integerOf(database,
                        "SELECT count(*) FROM sqlite_master AS t, pragma_foreign_key_list(t.name) "
                        "AS f WHERE t.type = 'table' AND NOT EXISTS (SELECT 1 FROM "
                        "pragma_index_list(t.name) AS i, pragma_index_info(i.name) AS c "
                        "WHERE c.seqno = 0 AND c.name = f.\"from\")"),
              0);
    EXPECT_EQ(commandOutput("sqlite3 '" + file_.string() + "' 'PRAGMA integrity_check'"), "ok\n");

    // A statement left midway holds no snapshot into the next session.
    database.write([](MessageDatabase::Session& session) {
        session.statement("INSERT INTO Channel (name) VALUES ('a'), ('b')").run();
    });
    database.read([&](MessageDatabase::Session& session) {
        session.statement("SELECT name FROM Channel").step();  // left on its first row
    });
    SqliteDatabase(file_).execute("INSERT INTO Channel (name) VALUES ('c')");
    EXPECT_EQ(integerOf(database, "SELECT count(*) FROM Channel"), 3);
}

// A file this library did not write, or wrote with another schema, is refused and left exactly
// as found: no tables added, the version kept, not even switched to WAL. Version 1 had no lease
// on status rows: its rows are kept and gain the column.
TEST_F(MessageDatabaseTest, AStoreOfAnUnknownVersionIsLeftAsItWasAndOneOfVersionOneUpgraded) {
    const std::string state =
        "SELECT group_concat(name) FROM sqlite_master; PRAGMA user_version; PRAGMA journal_mode";
    for (const auto* setup :
         {"CREATE TABLE Message (id); PRAGMA user_version = -1",
          "CREATE TABLE Message (id); PRAGMA user_version = 3", "CREATE TABLE Other (id)"}) {
        fs::remove(file_);
        testing::sqliteOutput(file_, setup);
        const auto before = testing::sqliteOutput(file_, state);
        try {
            MessageDatabase refused(directory_.path());
            ADD_FAILURE() << "opened after " << setup;
        } catch (const TextError& error) {
            EXPECT_THAT(error.what(), ::testing::HasSubstr("schema version")) << setup;
        }
        EXPECT_EQ(testing::sqliteOutput(file_, state), before) << setup;
    }
    fs::remove(file_);
    testing::sqliteOutput(file_,
                          "CREATE TABLE MessageStatus (pk INTEGER PRIMARY KEY, messageId "
                          "TEXT); INSERT INTO MessageStatus (messageId) VALUES ('kept'); "
                          "PRAGMA user_version = 1");
    MessageDatabase database(directory_.path());
    EXPECT_EQ(integerOf(database, "PRAGMA user_version"), MessageDatabase::schemaVersion);
    EXPECT_EQ(integerOf(database,
                        "SELECT count(*) FROM MessageStatus WHERE messageId = 'kept' "
                        "AND leaseExpiryInternal IS NULL"),
              1);
}

// Reads that trusted the file look again soon after it is removed.
TEST_F(MessageDatabaseTest, AFileRemovedOrReplacedUnderneathIsNoLongerUsed) {
    MessageDatabase database(directory_.path());
    EXPECT_EQ(integerOf(database, "SELECT 1"), 1);
    fs::remove(file_);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    bool refused = false;
    while (!refused && std::chrono::steady_clock::now() < deadline) {
        try {
            integerOf(database, "SELECT 1");
            std::this_thread::sleep_for(MessageDatabase::readCheckInterval / 10);
        } catch (const TextError&) {
            refused = true;
        }
    }
    EXPECT_TRUE(refused) << "reads went on from a removed file";
    EXPECT_FALSE(database.isInPlace());
    MessageDatabase replacement(directory_.path());
    EXPECT_FALSE(database.isInPlace());
    EXPECT_TRUE(replacement.isInPlace());
}

}  // namespace
}  // namespace orvanpush::platform
