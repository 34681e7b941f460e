#include "platform/SqliteDatabase.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <limits>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/TestHome.h"

namespace orvanpush::platform {
namespace {

using ::testing::HasSubstr;

mode_t permissions(const std::filesystem::path& path) {
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return status.st_mode & 07777;
}

std::int64_t count(SqliteDatabase& database, std::string_view sql) {
    return database.withConnection([&](SqliteConnection& connection) {
        auto select = connection.prepare(sql);
        EXPECT_TRUE(select.step());
        return select.integer(0);
    });
}

// Reads the counter and writes it back one higher in two statements, so an increment is only
// kept when the transaction really excludes other writers between the read and the write.
void incrementCounter(SqliteDatabase& database) {
    database.transaction([](SqliteConnection& connection) {
        auto select = connection.prepare("SELECT n FROM counter");
        select.step();
        const auto value = select.integer(0);
        select.reset();
        connection.prepare("UPDATE counter SET n = ?").bindInteger(1, value + 1).run();
    });
}

class SqliteDatabaseTest : public ::testing::Test {
  protected:
    testing::TempDirectory directory_;
    std::filesystem::path file_ = directory_.path() / "test.sqlite";
};

TEST_F(SqliteDatabaseTest, CreatesAPrivateFileInWalModeWithPrivateCompanions) {
    SqliteDatabase database(file_);
    database.execute("CREATE TABLE t (v); INSERT INTO t VALUES (1);");

    EXPECT_EQ(permissions(file_), 0600u);
    EXPECT_EQ(permissions(file_.string() + "-wal"), 0600u);
    EXPECT_EQ(permissions(file_.string() + "-shm"), 0600u);
    const auto mode = database.withConnection([](SqliteConnection& connection) {
        auto pragma = connection.prepare("PRAGMA journal_mode");
        pragma.step();
        return pragma.text(0);
    });
    EXPECT_EQ(mode, "wal");
}

TEST_F(SqliteDatabaseTest, NarrowsAnExistingFileAndRefusesSymbolicLinks) {
    std::ofstream(file_).close();
    std::filesystem::permissions(file_, std::filesystem::perms(0644));
    SqliteDatabase opened(file_);
    EXPECT_EQ(permissions(file_), 0600u);

    const auto target = directory_.path() / "target";
    std::ofstream(target) << "untouched";
    const auto link = directory_.path() / "link.sqlite";
    std::filesystem::create_symlink(target, link);
    EXPECT_THROW(SqliteDatabase{link}, TextError);
    EXPECT_EQ(std::filesystem::file_size(target), 9u);
}

TEST_F(SqliteDatabaseTest, BoundValuesOfEveryTypeRoundTripVerbatim) {
    SqliteDatabase database(file_);
    database.execute("CREATE TABLE t (id INTEGER PRIMARY KEY, v)");
    const std::string textWithNul("a\0b'); DROP TABLE t; --", 23);
    const Bytes bytes{0x00, 0xff, 0x27, 0x00};
    database.withConnection([&](SqliteConnection& connection) {
        auto insert = connection.prepare("INSERT INTO t (id, v) VALUES (?, ?)");
        insert.bindInteger(1, 1).bindText(2, textWithNul).run();
        insert.reset();
        insert.bindInteger(1, 2).bindInteger(2, std::numeric_limits<std::int64_t>::min()).run();
        insert.reset();
        insert.bindInteger(1, 3).bindReal(2, 0.1).run();
        insert.reset();
        insert.bindInteger(1, 4).bindBlob(2, bytes).run();
        insert.reset();
        insert.bindInteger(1, 5).bindBlob(2, Bytes{}).run();
        insert.reset();
        insert.bindInteger(1, 6).bindNull(2).run();
    });

    database.withConnection([&](SqliteConnection& connection) {
        auto select = connection.prepare("SELECT v FROM t ORDER BY id");
        ASSERT_TRUE(select.step());
        EXPECT_EQ(select.columnType(0), SqliteType::text);
        EXPECT_EQ(select.text(0), textWithNul);
        ASSERT_TRUE(select.step());
        EXPECT_EQ(select.integer(0), std::numeric_limits<std::int64_t>::min());
        ASSERT_TRUE(select.step());
        EXPECT_EQ(select.columnType(0), SqliteType::real);
        EXPECT_EQ(select.real(0), 0.1);
        ASSERT_TRUE(select.step());
        EXPECT_EQ(select.blob(0), bytes);
        ASSERT_TRUE(select.step());
        EXPECT_EQ(select.columnType(0), SqliteType::blob) << "an empty blob is not NULL";
        EXPECT_TRUE(select.blob(0).empty());
        ASSERT_TRUE(select.step());
        EXPECT_TRUE(select.isNull(0));
        EXPECT_FALSE(select.step());
    });
    EXPECT_EQ(count(database, "SELECT count(*) FROM t"), 6);
}

TEST_F(SqliteDatabaseTest, FailuresSurfaceAsTextErrorsNamingTheStatement) {
    SqliteDatabase database(file_);
    database.execute("CREATE TABLE t (k TEXT PRIMARY KEY, v NOT NULL)");

    try {
        database.execute("SELEC 1");
        FAIL() << "invalid SQL was accepted";
    } catch (const TextError& error) {
        EXPECT_THAT(error.what(), HasSubstr("\"SELEC 1\""));
        EXPECT_THAT(error.what(), HasSubstr("syntax error"));
    }
    database.withConnection([](SqliteConnection& connection) {
        EXPECT_THROW(connection.prepare("SELECT nothing FROM t"), TextError);
        EXPECT_THROW(connection.prepare("SELECT ?").bindInteger(2, 1), TextError);
        auto insert = connection.prepare("INSERT INTO t (k, v) VALUES (?, ?)");
        insert.bindText(1, "k").bindText(2, "v").run();
        try {
            insert.run();
            FAIL() << "a duplicate key was accepted";
        } catch (const SqliteError& error) {
            EXPECT_EQ(error.code(), 19);                     // SQLITE_CONSTRAINT
            EXPECT_EQ(error.extendedCode(), 19 | (6 << 8));  // SQLITE_CONSTRAINT_PRIMARYKEY
            EXPECT_THAT(error.what(), HasSubstr("UNIQUE constraint failed: t.k"));
        }
        EXPECT_THROW(connection.prepare("INSERT INTO t (k) VALUES ('x')").run(), SqliteError);
    });
    EXPECT_EQ(count(database, "SELECT count(*) FROM t"), 1);
}

TEST_F(SqliteDatabaseTest, TransactionCommitsOrRollsBackAsAWhole) {
    SqliteDatabase database(file_);
    database.execute("CREATE TABLE t (v)");

    const auto committed = database.transaction([](SqliteConnection& connection) {
        connection.execute("INSERT INTO t VALUES (1)");
        connection.execute("INSERT INTO t VALUES (2)");
        return connection.changes();
    });
    EXPECT_EQ(committed, 1);

    EXPECT_THROW(database.transaction([](SqliteConnection& connection) {
        connection.execute("INSERT INTO t VALUES (3)");
        throw std::runtime_error("abandoned");
    }),
                 std::runtime_error);
    EXPECT_THROW(database.transaction([](SqliteConnection& connection) {
        connection.execute("INSERT INTO t VALUES (4)");
        connection.execute("INSERT INTO missing VALUES (5)");
    }),
                 SqliteError);
    EXPECT_THROW(database.transaction([](SqliteConnection& connection) {
        connection.transaction([](SqliteConnection&) {});
    }),
                 SqliteError);

    EXPECT_EQ(count(database, "SELECT group_concat(v) = '1,2' FROM t"), 1);
    database.transaction(
        [](SqliteConnection& connection) { connection.execute("INSERT INTO t VALUES (6)"); });
    EXPECT_EQ(count(database, "SELECT count(*) FROM t"), 3);
}

TEST_F(SqliteDatabaseTest, ThreadsSharingOneDatabaseAndThreadsWithTheirOwnLoseNothing) {
    SqliteDatabase shared(file_);
    shared.execute("CREATE TABLE counter (n); INSERT INTO counter VALUES (0);");
    constexpr int threads = 4;
    constexpr int increments = 50;

    std::vector<std::thread> workers;
    for (int index = 0; index < threads; ++index) {
        workers.emplace_back([&shared] {
            for (int step = 0; step < increments; ++step) {
                incrementCounter(shared);
            }
        });
        workers.emplace_back([this] {
            SqliteDatabase own(file_);
            for (int step = 0; step < increments; ++step) {
                incrementCounter(own);
            }
        });
    }
    for (auto& worker : workers) {
        worker.join();
    }
    EXPECT_EQ(count(shared, "SELECT n FROM counter"), 2 * threads * increments);
}

TEST_F(SqliteDatabaseTest, ProcessesWritingAtOnceLoseNothing) {
    SqliteDatabase(file_).execute("CREATE TABLE counter (n); INSERT INTO counter VALUES (0);");
    constexpr int children = 3;
    constexpr int increments = 100;
    const auto work = [this] {
        SqliteDatabase database(file_);
        for (int step = 0; step < increments; ++step) {
            incrementCounter(database);
        }
    };

    // No connection to the file is open across fork(): each process opens its own after it,
    // as SQLite requires.
    std::vector<pid_t> pids;
    for (int index = 0; index < children; ++index) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int status = 0;
            try {
                work();
            } catch (...) {
                status = 1;
            }
            ::_exit(status);
        }
        pids.push_back(pid);
    }
    work();
    for (const pid_t pid : pids) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child failed: " << status;
    }
    SqliteDatabase database(file_);
    EXPECT_EQ(count(database, "SELECT n FROM counter"), (children + 1) * increments);
}

}  // namespace
}  // namespace orvanpush::platform
