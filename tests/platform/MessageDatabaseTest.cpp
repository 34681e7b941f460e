#include "platform/MessageDatabase.h"

#include <sys/stat.h>

#include <filesystem>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "orvanpush/TextError.h"
#include "support/TestHome.h"

namespace orvanpush::platform {
namespace {

namespace fs = std::filesystem;

std::int64_t integerOf(MessageDatabase& database, const std::string& sql) {
    return database.read([&](MessageDatabase::Session& session) {
        auto& select = session.statement(sql);
        select.step();
        return select.integer(0);
    });
}

std::string commandOutput(const std::string& command) {
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[512];
        while (auto read = std::fread(buffer, 1, sizeof buffer, pipe)) {
            output.append(buffer, read);
        }
        ::pclose(pipe);
    }
    return output;
}

class MessageDatabaseTest : public ::testing::Test {
  protected:
    testing::TempDirectory directory_;
    fs::path file_ = directory_.path() / MessageDatabase::fileName;
};

TEST_F(MessageDatabaseTest, CreatesAPrivateFileWithItsSchemaVersionWalAndForeignKeys) {
    MessageDatabase database(directory_.path());
    EXPECT_EQ(fs::status(file_).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(integerOf(database, "PRAGMA user_version"), MessageDatabase::schemaVersion);
    EXPECT_EQ(integerOf(database, "SELECT journal_mode = 'wal' FROM pragma_journal_mode"), 1);
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

TEST_F(MessageDatabaseTest, AStoreOfANewerSchemaIsRefused) {
    { MessageDatabase database(directory_.path()); }
    SqliteDatabase(file_).execute("PRAGMA user_version = 2");
    EXPECT_THROW(MessageDatabase{directory_.path()}, TextError);
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

}  // namespace
}  // namespace orvanpush::platform
