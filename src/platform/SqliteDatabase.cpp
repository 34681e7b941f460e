#include "platform/SqliteDatabase.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/FileDescriptor.h"

namespace orvanpush::platform {
namespace {

constexpr int busyTimeoutMilliseconds = 5000;

// Every SQLite failure becomes an error through here, so all of them read alike:
// "SQLite error in <what>: <SQLite's message> (code <extended result code>)".
[[noreturn]] void throwSqliteError(int code, std::string_view what, const char* message) {
    std::string text = "SQLite error in ";
    text.append(what);
    text += ": ";
    text += message != nullptr ? message : sqlite3_errstr(code);
    text += " (code " + std::to_string(code) + ")";
    throw SqliteError(text, code);
}

// The connection's extended code is more precise than a call's primary result.
int lastErrorCode(sqlite3* database, int result) {
    const int extended = sqlite3_extended_errcode(database);
    return extended != SQLITE_OK ? extended : result;
}

[[noreturn]] void throwConnectionError(sqlite3* database, int result, std::string_view what) {
    throwSqliteError(lastErrorCode(database, result), what, sqlite3_errmsg(database));
}

std::string quoted(std::string_view sql) {
    std::string text = "\"";
    text.append(sql);
    text += "\"";
    return text;
}

[[noreturn]] void throwFileError(const std::string& what, const std::filesystem::path& file,
                                 int error) {
    throw TextError(what + " " + file.string() + ": " + std::strerror(error));
}

// The file whose exclusive flock makes openings of one database take turns: beside the
// database, so that no descriptor of the database file itself is ever opened for it.
std::filesystem::path lockFileOf(const std::filesystem::path& file) {
    return file.string() + "-lock";
}

// Connections of several threads or processes that open one file at once would all try to
// create it and switch it to WAL, and fail each other (a busy file, a rollback journal deleted
// under another): an exclusive flock on the file's lock file makes them take turns.
class OpeningTurn {
  public:
    explicit OpeningTurn(const std::filesystem::path& lockFile)
        : lock_(::open(lockFile.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                       0600)) {
        struct stat status {};
        if (!lock_.valid() || ::fstat(lock_.get(), &status) != 0) {
            throwFileError("Cannot use lock file", lockFile, errno);
        }
        if (!S_ISREG(status.st_mode)) {
            throw TextError("Cannot use lock file " + lockFile.string() + ": not a regular file");
        }
        if ((status.st_mode & 0077) != 0 && ::fchmod(lock_.get(), 0600) != 0) {
            throwFileError("Cannot narrow the mode of lock file", lockFile, errno);
        }
        while (::flock(lock_.get(), LOCK_EX) != 0) {
            if (errno != EINTR) {
                throw TextError("Cannot lock " + lockFile.string() + ": " + std::strerror(errno));
            }
        }
    }

  private:
    FileDescriptor lock_;  // closing it ends the turn
};

// Creates the file with mode 0600 when it is missing, so SQLite creates its -wal and -shm files
// with that mode too; an existing file keeps its contents but is narrowed to 0600. Either way
// the file must be a regular file, never a symbolic link. An existing file is handled by its
// path only: opening it here would drop the locks of a connection that has it open already.
void preparePrivateFile(const std::filesystem::path& file) {
    for (;;) {
        struct stat status {};
        if (::lstat(file.c_str(), &status) == 0) {
            if (!S_ISREG(status.st_mode)) {
                throw TextError("Cannot open database file " + file.string() +
                                ": not a regular file");
            }
            if ((status.st_mode & 0077) != 0 && ::chmod(file.c_str(), 0600) != 0) {
                throwFileError("Cannot narrow the mode of database file", file, errno);
            }
            return;
        }
        if (errno != ENOENT) {
            throwFileError("Cannot open database file", file, errno);
        }
        const FileDescriptor created(
            ::open(file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (created.valid()) {
            return;  // closed before SQLite opens the file
        }
        if (errno != EEXIST) {
            throwFileError("Cannot create database file", file, errno);
        }
        // Created by someone outside the turn in the meantime: take it as an existing file.
    }
}

// SQLite's no-follow flag refuses a symbolic link in any component of the path, yet a home
// reached through a link (a linked /home, a linked directory inside the home) is ordinary: the
// directory is resolved once, so only the file itself must not be a link.
std::filesystem::path withResolvedDirectory(const std::filesystem::path& path) {
    const auto directory =
        path.parent_path().empty() ? std::filesystem::path(".") : path.parent_path();
    std::error_code error;
    auto resolved = std::filesystem::canonical(directory, error);
    if (error) {
        throw TextError("Cannot open database file " + path.string() + ": " + error.message());
    }
    return resolved / path.filename();
}

int checkedLength(std::size_t size) {
    if (size > static_cast<std::size_t>(INT_MAX)) {
        throwSqliteError(SQLITE_TOOBIG, "binding a parameter", nullptr);
    }
    return static_cast<int>(size);
}

}  // namespace

// ---- SqliteStatement ----

// The statements of a connection that their users are done with, kept prepared: parsing the
// same SQL again costs more than the look-up that finds it. A few dozen at most, since predicates
// a host builds may each make SQL of their own.
class SqliteIdleStatements {
  public:
    SqliteIdleStatements() = default;
    SqliteIdleStatements(const SqliteIdleStatements&) = delete;
    SqliteIdleStatements& operator=(const SqliteIdleStatements&) = delete;
    ~SqliteIdleStatements() {
        for (sqlite3_stmt* statement : statements_) {
            sqlite3_finalize(statement);
        }
    }

    /// An idle statement of exactly `sql`, taken out; null when there is none.
    sqlite3_stmt* take(std::string_view sql) {
        std::lock_guard lock(mutex_);
        for (auto it = statements_.begin(); it != statements_.end(); ++it) {
            if (sql == sqlite3_sql(*it)) {
                sqlite3_stmt* statement = *it;
                statements_.erase(it);
                return statement;
            }
        }
        return nullptr;
    }

    /// Keeps `statement`, rewound with its parameters cleared, or finalizes it when enough are
    /// kept.
    void keep(sqlite3_stmt* statement) {
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
        std::unique_lock lock(mutex_);
        if (statements_.size() < kLimit) {
            statements_.push_back(statement);
            return;
        }
        lock.unlock();
        sqlite3_finalize(statement);
    }

  private:
    static constexpr std::size_t kLimit = 32;
    std::mutex mutex_;
    std::vector<sqlite3_stmt*> statements_;
};

void SqliteStatement::Release::operator()(sqlite3_stmt* statement) const {
    if (auto statements = idle.lock()) {
        statements->keep(statement);
    } else {
        sqlite3_finalize(statement);
    }
}

SqliteStatement::SqliteStatement(sqlite3_stmt* statement, std::weak_ptr<SqliteIdleStatements> idle)
    : statement_(statement, Release{std::move(idle)}) {}

SqliteStatement& SqliteStatement::checkBind(int result, int index) {
    if (result != SQLITE_OK) {
        throwConnectionError(sqlite3_db_handle(statement_.get()), result,
                             "binding parameter " + std::to_string(index) + " of " +
                                 quoted(sqlite3_sql(statement_.get())));
    }
    return *this;
}

SqliteStatement& SqliteStatement::bindText(int index, std::string_view value) {
    return checkBind(sqlite3_bind_text(statement_.get(), index, value.data(),
                                       checkedLength(value.size()), SQLITE_TRANSIENT),
                     index);
}

SqliteStatement& SqliteStatement::bindInteger(int index, std::int64_t value) {
    return checkBind(sqlite3_bind_int64(statement_.get(), index, value), index);
}

SqliteStatement& SqliteStatement::bindReal(int index, double value) {
    return checkBind(sqlite3_bind_double(statement_.get(), index, value), index);
}

SqliteStatement& SqliteStatement::bindBlob(int index, const Bytes& value) {
    // An empty vector may have no storage; SQLite treats a null blob pointer as NULL, so an
    // empty blob is bound as a zero-length blob explicitly.
    if (value.empty()) {
        return checkBind(sqlite3_bind_zeroblob(statement_.get(), index, 0), index);
    }
    return checkBind(sqlite3_bind_blob(statement_.get(), index, value.data(),
                                       checkedLength(value.size()), SQLITE_TRANSIENT),
                     index);
}

SqliteStatement& SqliteStatement::bindNull(int index) {
    return checkBind(sqlite3_bind_null(statement_.get(), index), index);
}

bool SqliteStatement::step() {
    const int result = sqlite3_step(statement_.get());
    if (result == SQLITE_ROW) {
        return true;
    }
    if (result == SQLITE_DONE) {
        return false;
    }
    sqlite3* database = sqlite3_db_handle(statement_.get());
    const int code = lastErrorCode(database, result);
    const std::string message = sqlite3_errmsg(database);
    // Rewind at once so a failed statement holds no lock or snapshot while the error travels.
    sqlite3_reset(statement_.get());
    throwSqliteError(code, quoted(sqlite3_sql(statement_.get())), message.c_str());
}

void SqliteStatement::run() {
    while (step()) {
    }
}

void SqliteStatement::reset() {
    sqlite3_reset(statement_.get());
    sqlite3_clear_bindings(statement_.get());
}

int SqliteStatement::columnCount() const {
    return sqlite3_column_count(statement_.get());
}

SqliteType SqliteStatement::columnType(int column) const {
    switch (sqlite3_column_type(statement_.get(), column)) {
        case SQLITE_INTEGER:
            return SqliteType::integer;
        case SQLITE_FLOAT:
            return SqliteType::real;
        case SQLITE_TEXT:
            return SqliteType::text;
        case SQLITE_BLOB:
            return SqliteType::blob;
        default:
            return SqliteType::null;
    }
}

std::int64_t SqliteStatement::integer(int column) const {
    return sqlite3_column_int64(statement_.get(), column);
}

double SqliteStatement::real(int column) const {
    return sqlite3_column_double(statement_.get(), column);
}

std::string SqliteStatement::text(int column) const {
    // The pointer must be fetched before the length: asking for the text may convert the value.
    const auto* characters =
        reinterpret_cast<const char*>(sqlite3_column_text(statement_.get(), column));
    const int length = sqlite3_column_bytes(statement_.get(), column);
    return characters != nullptr ? std::string(characters, static_cast<std::size_t>(length))
                                 : std::string();
}

Bytes SqliteStatement::blob(int column) const {
    const auto* bytes =
        static_cast<const std::uint8_t*>(sqlite3_column_blob(statement_.get(), column));
    const int length = sqlite3_column_bytes(statement_.get(), column);
    return bytes != nullptr ? Bytes(bytes, bytes + length) : Bytes();
}

// ---- SqliteConnection ----

void SqliteConnection::Closer::operator()(sqlite3* database) const {
    // close_v2 defers the close until the last statement is finalized, so the order in which a
    // connection and its statements are destroyed does not matter.
    sqlite3_close_v2(database);
}

SqliteConnection::SqliteConnection(std::filesystem::path path, sqlite3* database)
    : path_(std::move(path)),
      database_(database),
      idle_(std::make_shared<SqliteIdleStatements>()) {}

// Closing any descriptor of a file drops every POSIX lock the process holds on it, SQLite's
// own included. A connection without its shared lock lets another process's last close
// checkpoint and delete the -wal and -shm files under it; its later commits then vanish, or
// two processes end up with two WAL files for one database and corrupt it. So no descriptor
// of a database file (or of its -wal or -shm) is ever opened here once SQLite may have the
// file open: the turn is taken on a lock file of its own, a new file's descriptor is closed
// before SQLite opens it, and an existing file is only ever touched by its path.
SqliteConnection SqliteConnection::open(const std::filesystem::path& path,
                                        const std::function<void(SqliteConnection&)>& check) {
    const auto file = withResolvedDirectory(path);
    const OpeningTurn turn(lockFileOf(file));
    preparePrivateFile(file);
    sqlite3* raw = nullptr;
    // Serialized mode is a safety net only: callers that share a connection hold the
    // SqliteDatabase lock, which is what keeps statement sequences apart.
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX | SQLITE_OPEN_NOFOLLOW;
    const int result = sqlite3_open_v2(file.c_str(), &raw, flags, nullptr);
    SqliteConnection connection(path, raw);
    if (result != SQLITE_OK) {
        if (raw == nullptr) {
            throwSqliteError(result, "opening " + path.string(), nullptr);
        }
        throwConnectionError(raw, result, "opening " + path.string());
    }
    // SQLite opens a file it may not write (a read-only mount) read-only instead of failing, and
    // only when the other process keeps the WAL files; both processes write these files, so it is
    // refused here rather than at its first write.
    if (sqlite3_db_readonly(raw, "main") == 1) {
        throwSqliteError(SQLITE_READONLY, "opening " + path.string(), "the file cannot be written");
    }
    sqlite3_extended_result_codes(raw, 1);
    sqlite3_busy_timeout(raw, busyTimeoutMilliseconds);
    if (check) {
        check(connection);
    }
    connection.execute("PRAGMA journal_mode = WAL; PRAGMA foreign_keys = ON;");
    // Still within the turn, so no process of ours has replaced the file SQLite opened.
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0) {
        throwFileError("Cannot open database file", file, errno);
    }
    connection.device_ = status.st_dev;
    connection.inode_ = status.st_ino;
    return connection;
}

bool SqliteConnection::isInPlace() const {
    struct stat status {};
    return ::stat(path_.c_str(), &status) == 0 && status.st_dev == device_ &&
           status.st_ino == inode_;
}

void SqliteConnection::execute(std::string_view sql) {
    // sqlite3_exec wants a terminated string; the SQL is a short constant, so a copy is cheap.
    const std::string terminated(sql);
    char* message = nullptr;
    const int result =
        sqlite3_exec(database_.get(), terminated.c_str(), nullptr, nullptr, &message);
    if (result != SQLITE_OK) {
        const std::unique_ptr<char, decltype(&sqlite3_free)> owned(message, &sqlite3_free);
        throwSqliteError(sqlite3_extended_errcode(database_.get()), quoted(sql), message);
    }
}

SqliteStatement SqliteConnection::prepare(std::string_view sql) {
    if (sqlite3_stmt* idle = idle_->take(sql)) {
        return SqliteStatement(idle, idle_);
    }
    sqlite3_stmt* raw = nullptr;
    const int result =
        sqlite3_prepare_v2(database_.get(), sql.data(), checkedLength(sql.size()), &raw, nullptr);
    // A statement whose SQL has more after its first statement is not kept: its text would not
    // match the SQL it was prepared from.
    SqliteStatement statement(raw, {});
    if (result == SQLITE_OK && raw != nullptr && sql == sqlite3_sql(raw)) {
        statement.statement_.get_deleter().idle = idle_;
    }
    if (result != SQLITE_OK) {
        throwConnectionError(database_.get(), result, quoted(sql));
    }
    if (raw == nullptr) {
        throwSqliteError(SQLITE_MISUSE, quoted(sql), "no statement in the SQL text");
    }
    return statement;
}

void SqliteConnection::pollWhileBusy(std::chrono::milliseconds timeout,
                                     std::chrono::milliseconds interval) {
    busyPolling_ = std::make_unique<BusyPolling>(BusyPolling{timeout, interval, {}});
    sqlite3_busy_handler(database_.get(), &SqliteConnection::retryWhileBusy, busyPolling_.get());
}

int SqliteConnection::retryWhileBusy(void* polling, int attempts) {
    auto& state = *static_cast<BusyPolling*>(polling);
    const auto now = std::chrono::steady_clock::now();
    if (attempts == 0) {
        state.waitingSince = now;
    }
    if (now - state.waitingSince >= state.timeout) {
        return 0;
    }
    std::this_thread::sleep_for(state.interval);
    return 1;
}

std::int64_t SqliteConnection::lastInsertRowId() const {
    return sqlite3_last_insert_rowid(database_.get());
}

std::int64_t SqliteConnection::changes() const {
    return sqlite3_changes64(database_.get());
}

void SqliteConnection::rollbackQuietly() noexcept {
    // SQLite may already have rolled back on its own (a full disk, an I/O error); only an open
    // transaction is rolled back, and a failing rollback must not hide the original error.
    if (sqlite3_get_autocommit(database_.get()) == 0) {
        sqlite3_exec(database_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
}

SqliteConnection::TransactionGuard::TransactionGuard(SqliteConnection& connection)
    : connection_(connection) {}

SqliteConnection::TransactionGuard::~TransactionGuard() {
    if (!committed_) {
        connection_.rollbackQuietly();
    }
}

void SqliteConnection::TransactionGuard::commit() {
    connection_.execute("COMMIT");
    committed_ = true;
}

}  // namespace orvanpush::platform
