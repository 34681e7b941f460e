#pragma once

// The message database of an application-group container: the file "StorageModel.sqlite" that
// the application and its extension open together, with one table per stored entity.
//
//   MessageDatabase database(Home::containerDirectory("group.example"));
//   database.write([&](MessageDatabase::Session& session) {
//       session.statement("INSERT INTO Channel (name) VALUES (?)").bindText(1, "push").run();
//   });
//
// Every write is one BEGIN IMMEDIATE transaction, so a check followed by an insert never races
// the other process. Statements are prepared once per database and rewound when their session
// ends, so no statement keeps a read snapshot open between two sessions.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "platform/SqliteDatabase.h"

namespace orvanpush::platform {

class MessageDatabase {
  public:
    /// The version of the schema this library creates and reads (kept in PRAGMA user_version).
    static constexpr std::int64_t schemaVersion = 2;
    /// The name of the database file in its container directory.
    static constexpr const char* fileName = "StorageModel.sqlite";

    /// The statements of one read or write. Only valid inside the callback it was given to.
    class Session {
      public:
        /// The statement for `sql`, rewound with no bindings; prepared on first use and kept.
        /// Throws `SqliteError` for invalid SQL.
        SqliteStatement& statement(const std::string& sql);
        /// The connection itself, for SQL that is not worth keeping prepared.
        SqliteConnection& connection() { return connection_; }
        /// The number of rows changed through this connection since it was opened.
        std::int64_t totalChanges();

        ~Session();
        Session(const Session&) = delete;
        Session& operator=(const Session&) = delete;

      private:
        friend class MessageDatabase;
        Session(SqliteConnection& connection,
                std::unordered_map<std::string, SqliteStatement>& statements)
            : connection_(connection), statements_(statements) {}

        SqliteConnection& connection_;
        std::unordered_map<std::string, SqliteStatement>& statements_;
        std::vector<SqliteStatement*> used_;
    };

    /// Opens `directory`/StorageModel.sqlite, creating the file (0600) and its schema when
    /// missing; the directory must exist. Throws `SqliteError` or `TextError`, among them a
    /// `TextError` for a file of a schema version this library does not know (which is left as
    /// it was found).
    explicit MessageDatabase(const std::filesystem::path& directory);

    MessageDatabase(const MessageDatabase&) = delete;
    MessageDatabase& operator=(const MessageDatabase&) = delete;

    /// Runs `body(session)` under the database's lock, each statement a transaction of its own.
    /// Throws `TextError` when the file is no longer in place (noticed within
    /// `readCheckInterval`), else what `body` throws.
    template <class Body>
    auto read(Body&& body) -> std::invoke_result_t<Body&, Session&> {
        return database_.withConnection([&](SqliteConnection& connection) {
            checkInPlaceForRead();
            Session session(connection, statements_);
            return body(session);
        });
    }

    /// When a commit reaches the disk. A `durable` one is synced as it commits. A `deferred`
    /// one is synced at the next checkpoint or durable commit: a crash of the process never
    /// undoes it, a power cut before then may (for deletions that the next clean-up repeats).
    enum class Durability { durable, deferred };

    /// Runs `body(session)` under the lock inside one BEGIN IMMEDIATE transaction, committed when
    /// `body` returns and rolled back when it throws. Throws as `read` does, and `SqliteError`
    /// when the other process holds the write lock past the busy timeout.
    template <class Body>
    auto write(Body&& body, Durability durability = Durability::durable)
        -> std::invoke_result_t<Body&, Session&> {
        return database_.withConnection([&](SqliteConnection& connection) {
            checkInPlace();
            const SyncLevel level(connection, durability);
            return connection.transaction([&](SqliteConnection& inTransaction) {
                Session session(inTransaction, statements_);
                return body(session);
            });
        });
    }

    /// How long a read may go on trusting the last look at the file: looking costs a `stat`, as
    /// much as an indexed look-up. Writes look every time, so nothing is ever written to a
    /// removed file.
    static constexpr std::chrono::milliseconds readCheckInterval{100};

    /// True while the file at `path()` is the file this object opened: false once it was
    /// removed or replaced (writes to a removed file would be lost without an error).
    bool isInPlace() const;

    const std::filesystem::path& path() const { return database_.path(); }

  private:
    /// Lowers the connection's sync level for a deferred commit, and restores it.
    class SyncLevel {
      public:
        SyncLevel(SqliteConnection& connection, Durability durability);
        ~SyncLevel();
        SyncLevel(const SyncLevel&) = delete;
        SyncLevel& operator=(const SyncLevel&) = delete;

      private:
        SqliteConnection* lowered_ = nullptr;
        std::int64_t previous_ = 0;
    };

    void checkInPlace();
    void checkInPlaceForRead();

    SqliteDatabase database_;
    // Guarded by the database's lock: only used inside read and write.
    std::unordered_map<std::string, SqliteStatement> statements_;
    std::chrono::steady_clock::time_point nextReadCheck_ =
        std::chrono::steady_clock::time_point::min();
};

}  // namespace orvanpush::platform
