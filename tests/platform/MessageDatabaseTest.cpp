#include "platform/MessageDatabase.h"

#include <sys/stat.h>

#include <filesystem>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "orvanpush/TextError.h"
#include "support/SqliteOracle.h"
#include "support/TestHome.h"

namespace orvanpush::platform {
namespace {

namespace fs = std::filesystem;
using testing::commandOutput;

std::int64_t integerOf(MessageDatabase& database, const std::string& sql) {
    return database.read([&](MessageDatabase::Session& session) {
        auto& select = session.statement(sql);
        select.step();
        return select.integer(0);
    });
}

class MessageDatabaseTest : public ::testing::Test {
  protected:
    testing::TempDirectory directory_;
    fs::path file_ = directory_.path() / "StorageModel.sqlite";  // where earlier versions left it
};

TEST_F(MessageDatabaseTest, CreatesItsSchemaVersionAndForeignKeys) {
    MessageDatabase database(directory_.path());
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
}

TEST_F(MessageDatabaseTest, OpeningsRacingOnANewFileCreateTheSchemaOnce) {
    std::vector<std::thread> openers;
    std::atomic<int> failures{0};
    for (int i = 0; i < 4; ++i) {
        openers.emplace_back([&] {
            try {
                MessageDatabase database(directory_.path());
            } catch (const std::exception&) {
                ++failures;
            }
        });
    }
    for (auto& opener : openers) {
        opener.join();
    }
    EXPECT_EQ(failures, 0);
    MessageDatabase database(directory_.path());
    EXPECT_EQ(integerOf(database, "SELECT count(*) FROM sqlite_master WHERE name = 'Message'"), 1);
}

// A file this library did not write, or wrote with another schema, is refused and left exactly
// as found: no tables added, the version kept, not even switched to WAL.
TEST_F(MessageDatabaseTest, AStoreOfASchemaVersionItDoesNotKnowIsRefusedAndLeftAsItWas) {
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
}

// Version 1 had no lease on status rows: its rows are kept and gain the column.
TEST_F(MessageDatabaseTest, AStoreOfVersionOneIsUpgradedKeepingItsRows) {
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

TEST_F(MessageDatabaseTest, AStatementLeftMidwayHoldsNoSnapshotIntoTheNextSession) {
    MessageDatabase database(directory_.path());
    database.write([](MessageDatabase::Session& session) {
        session.statement("INSERT INTO Channel (name) VALUES ('a'), ('b')").run();
    });
    const std::string count = "SELECT count(*) FROM Channel";
    database.read([&](MessageDatabase::Session& session) {
        session.statement("SELECT name FROM Channel").step();  // left on its first row
    });
    SqliteDatabase(file_).execute("INSERT INTO Channel (name) VALUES ('c')");
    EXPECT_EQ(integerOf(database, count), 3);
}

TEST_F(MessageDatabaseTest, AFileRemovedOrReplacedUnderneathIsNoLongerUsed) {
    MessageDatabase database(directory_.path());
    EXPECT_TRUE(database.isInPlace());
    fs::remove(file_);
    EXPECT_FALSE(database.isInPlace());
    EXPECT_THROW(integerOf(database, "SELECT 1"), TextError);
    MessageDatabase replacement(directory_.path());
    EXPECT_FALSE(database.isInPlace());
    EXPECT_TRUE(replacement.isInPlace());
}

TEST_F(MessageDatabaseTest, ReadsThatTrustedTheFileLookAgainSoonAfterItIsRemoved) {
    MessageDatabase database(directory_.path());
    EXPECT_EQ(integerOf(database, "SELECT 1"), 1);
    fs::remove(file_);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        try {
            integerOf(database, "SELECT 1");
            std::this_thread::sleep_for(MessageDatabase::readCheckInterval / 10);
        } catch (const TextError&) {
            return;
        }
    }
    FAIL() << "reads went on from a removed file";
}

}  // namespace
}  // namespace orvanpush::platform
