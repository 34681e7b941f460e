#pragma once

// The library's access to SQLite files: the settings stores, the keychain file and the message
// database all go through these types.
//
//   SqliteDatabase db(Home::defaultsFile("group.example"));
//   db.execute("CREATE TABLE IF NOT EXISTS t (k TEXT PRIMARY KEY, v)");
//   db.transaction([&](SqliteConnection& connection) {
//       auto insert = connection.prepare("INSERT INTO t (k, v) VALUES (?, ?)");
//       insert.bindText(1, key).bindInteger(2, 42).run();
//   });
//   auto value = db.withConnection([&](SqliteConnection& connection) {
//       auto select = connection.prepare("SELECT v FROM t WHERE k = ?");
//       select.bindText(1, key);
//       return select.step() ? std::optional(select.integer(0)) : std::nullopt;
//   });
//
// Values only ever reach SQL through bound parameters; SQL text is always the caller's constant.
// Every SQLite failure surfaces as `SqliteError`, a `TextError` naming what failed.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "orvanpush/TextError.h"
#include "orvanpush/Types.h"

struct sqlite3;
struct sqlite3_stmt;

namespace orvanpush::platform {

/// A failed SQLite call. `what()` names the operation, SQLite's message and the result code.
class SqliteError : public TextError {
  public:
    SqliteError(const std::string& text, int extendedCode)
        : TextError(text), extendedCode_(extendedCode) {}

    /// The primary result code (SQLITE_CONSTRAINT, SQLITE_BUSY, ...).
    int code() const { return extendedCode_ & 0xff; }
    /// The extended result code (SQLITE_CONSTRAINT_UNIQUE, ...).
    int extendedCode() const { return extendedCode_; }

  private:
    int extendedCode_;
};

/// The storage class of a column value.
enum class SqliteType { integer, real, text, blob, null };

class SqliteIdleStatements;

/// A prepared statement (move-only; finalized with the object). Parameters are numbered from 1,
/// columns from 0. Bound text and blobs are copied, so the arguments need not outlive the call.
/// Use a statement only where its connection may be used (see `SqliteDatabase`).
class SqliteStatement {
  public:
    SqliteStatement(SqliteStatement&&) noexcept = default;
    SqliteStatement& operator=(SqliteStatement&&) noexcept = default;

    SqliteStatement& bindText(int index, std::string_view value);
    SqliteStatement& bindInteger(int index, std::int64_t value);
    SqliteStatement& bindReal(int index, double value);
    SqliteStatement& bindBlob(int index, const Bytes& value);
    SqliteStatement& bindNull(int index);

    /// Advances to the next row: true when a row is ready to read, false when the statement
    /// has finished. Throws `SqliteError` on failure.
    bool step();
    /// Steps until the statement has finished, ignoring any rows (for writes).
    void run();
    /// Rewinds the statement and clears its bindings, ready to run again. A statement left in
    /// the middle of its rows keeps its read snapshot open, so rewind or drop it when done.
    void reset();

    int columnCount() const;
    SqliteType columnType(int column) const;
    bool isNull(int column) const { return columnType(column) == SqliteType::null; }
    std::int64_t integer(int column) const;
    double real(int column) const;
    /// The column as text, embedded NUL bytes included; "" for NULL.
    std::string text(int column) const;
    /// The column as bytes; empty for NULL.
    Bytes blob(int column) const;

  private:
    friend class SqliteConnection;
    /// Hands the statement back to its connection's idle statements, rewound, or finalizes it
    /// once the connection is gone.
    struct Release {
        std::weak_ptr<SqliteIdleStatements> idle;
        void operator()(sqlite3_stmt* statement) const;
    };
    SqliteStatement(sqlite3_stmt* statement, std::weak_ptr<SqliteIdleStatements> idle);
    SqliteStatement& checkBind(int result, int index);

    std::unique_ptr<sqlite3_stmt, Release> statement_;
};

/// One open SQLite file (move-only; closed with the object). A connection on its own is not
/// meant for concurrent use: share it between threads through `SqliteDatabase`.
class SqliteConnection {
  public:
    /// Opens `path`, creating the file with mode 0600 first when it is missing (SQLite's -wal and
    /// -shm files take the mode of the database file; an existing file is narrowed to 0600). The
    /// directory must exist. The file is put in WAL mode with a busy timeout, so other
    /// connections and processes can use it at the same time; foreign keys are enforced. The
    /// file itself must not be a symbolic link (the directories leading to it may be).
    /// Openings of one file take turns on the lock file `path` + "-lock" beside it (0600).
    /// `check`, when given, runs on the new connection before the file is switched to WAL
    /// (while it is still as found); what it throws ends the opening. Throws `SqliteError`, or
    /// `TextError` when the file or its lock file cannot be created.
    static SqliteConnection open(const std::filesystem::path& path,
                                 const std::function<void(SqliteConnection&)>& check = {});

    SqliteConnection(SqliteConnection&&) noexcept = default;
    SqliteConnection& operator=(SqliteConnection&&) noexcept = default;

    /// Runs one or more SQL statements without parameters (schema, pragmas).
    void execute(std::string_view sql);
    /// Prepares one statement, or takes an idle one of the same SQL that an earlier use handed
    /// back, rewound and with its parameters cleared. Throws `SqliteError` for invalid SQL.
    SqliteStatement prepare(std::string_view sql);

    /// Runs `body(*this)` inside BEGIN IMMEDIATE ... COMMIT and returns what it returns. When
    /// `body` throws, or the commit fails, the transaction is rolled back and the exception
    /// propagates. Transactions do not nest.
    template <class Body>
    auto transaction(Body&& body) -> std::invoke_result_t<Body&, SqliteConnection&>;

    /// Makes the connection wait up to `timeout` for a lock that another connection holds,
    /// trying again every `interval`. SQLite's own busy timeout tries ever more rarely (up to
    /// every 100 ms), so a process that lets go of the lock only briefly between transactions
    /// could keep a waiter out until its time runs out.
    void pollWhileBusy(std::chrono::milliseconds timeout, std::chrono::milliseconds interval);

    /// The rowid of the last row inserted through this connection.
    std::int64_t lastInsertRowId() const;
    /// The number of rows changed by the last INSERT, UPDATE or DELETE.
    std::int64_t changes() const;
    const std::filesystem::path& path() const { return path_; }
    /// True while the file at `path()` is the file this connection opened: false once it was
    /// removed or replaced (a write to a removed file would be lost without an error).
    bool isInPlace() const;

  private:
    struct Closer {
        void operator()(sqlite3* database) const;
    };
    /// Rolls back an open transaction unless it was committed.
    class TransactionGuard {
      public:
        explicit TransactionGuard(SqliteConnection& connection);
        ~TransactionGuard();
        TransactionGuard(const TransactionGuard&) = delete;
        TransactionGuard& operator=(const TransactionGuard&) = delete;
        void commit();

      private:
        SqliteConnection& connection_;
        bool committed_ = false;
    };
    /// The state of pollWhileBusy's handler; on the heap, so it stays put when the connection
    /// moves.
    struct BusyPolling {
        std::chrono::steady_clock::duration timeout;
        std::chrono::steady_clock::duration interval;
        std::chrono::steady_clock::time_point waitingSince;
    };
    static int retryWhileBusy(void* polling, int attempts);

    SqliteConnection(std::filesystem::path path, sqlite3* database);
    void rollbackQuietly() noexcept;

    std::filesystem::path path_;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    std::unique_ptr<BusyPolling> busyPolling_;  // declared first: it outlives the handle
    std::unique_ptr<sqlite3, Closer> database_;
    // Statements done with, kept prepared for the next use of the same SQL.
    std::shared_ptr<SqliteIdleStatements> idle_;
};

/// A connection shared by several threads. Each call holds the connection's lock from start to
/// end, so one thread's statements and transaction never interleave with another's; other
/// processes and other `SqliteDatabase` objects on the same file are coordinated by SQLite's
/// file locks (WAL and the busy timeout). Statements prepared inside a callback must not be used
/// after it returns, and a callback must not call back into the same `SqliteDatabase` (the lock
/// is not recursive): use the connection it is given.
class SqliteDatabase {
  public:
    /// Opens the file as `SqliteConnection::open` does. Throws `SqliteError` or `TextError`.
    explicit SqliteDatabase(const std::filesystem::path& path,
                            const std::function<void(SqliteConnection&)>& check = {})
        : connection_(SqliteConnection::open(path, check)) {}

    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    /// Runs SQL without parameters under the lock.
    void execute(std::string_view sql) {
        std::lock_guard lock(mutex_);
        connection_.execute(sql);
    }

    /// Runs `body(connection)` under the lock, outside any explicit transaction (each statement
    /// commits on its own). For reads and single-statement writes.
    template <class Body>
    auto withConnection(Body&& body) -> std::invoke_result_t<Body&, SqliteConnection&> {
        std::lock_guard lock(mutex_);
        return body(connection_);
    }

    /// Runs `body(connection)` under the lock inside one write transaction (see
    /// `SqliteConnection::transaction`).
    template <class Body>
    auto transaction(Body&& body) -> std::invoke_result_t<Body&, SqliteConnection&> {
        std::lock_guard lock(mutex_);
        return connection_.transaction(body);
    }

    const std::filesystem::path& path() const { return connection_.path(); }
    /// See `SqliteConnection::isInPlace`.
    bool isInPlace() const { return connection_.isInPlace(); }

  private:
    std::mutex mutex_;
    SqliteConnection connection_;
};

template <class Body>
auto SqliteConnection::transaction(Body&& body) -> std::invoke_result_t<Body&, SqliteConnection&> {
    execute("BEGIN IMMEDIATE");
    TransactionGuard guard(*this);
    if constexpr (std::is_void_v<std::invoke_result_t<Body&, SqliteConnection&>>) {
        body(*this);
        guard.commit();
    } else {
        auto result = body(*this);
        guard.commit();
        return result;
    }
}

}  // namespace orvanpush::platform
