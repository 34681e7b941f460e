#include "platform/MessageDatabase.h"

#include "orvanpush/TextError.h"

namespace orvanpush::platform {
namespace {

// Dates are INTEGER nanoseconds since 1970 (exact for the library's clock), flags INTEGER 0 or 1.
// A status row keeps a copy of its message's id, so a report outlives its message; links are
// SET NULL when the row they point to goes, so no delete ever fails for a dependent row.
constexpr const char* schema = R"sql(
CREATE TABLE Status (
    pk INTEGER PRIMARY KEY,
    name TEXT NOT NULL UNIQUE
);
CREATE TABLE Channel (
    pk INTEGER PRIMARY KEY,
    name TEXT NOT NULL UNIQUE
);
CREATE TABLE Icon (
    pk INTEGER PRIMARY KEY,
    url TEXT UNIQUE,
    value TEXT
);
CREATE TABLE ExtraContent (
    pk INTEGER PRIMARY KEY,
    messageId TEXT UNIQUE,
    mimeType TEXT,
    value TEXT
);
CREATE TABLE MessageAttributes (
    pk INTEGER PRIMARY KEY,
    classifierdId INTEGER NOT NULL DEFAULT 0,
    classifierName TEXT,
    isImportant INTEGER NOT NULL DEFAULT 0,
    messageDate INTEGER,
    messageId TEXT NOT NULL UNIQUE
);
CREATE TABLE Message (
    pk INTEGER PRIMARY KEY,
    id TEXT,
    contentAvailable INTEGER NOT NULL DEFAULT 0,
    body TEXT,
    title TEXT,
    subtitle TEXT,
    messageDate INTEGER NOT NULL,
    statusLink INTEGER REFERENCES Status (pk) ON DELETE SET NULL,
    statusDateInternal INTEGER,
    statusNameInternal TEXT,
    channelNameInternal TEXT,
    channelLink INTEGER REFERENCES Channel (pk) ON DELETE SET NULL,
    extraContentLink INTEGER REFERENCES ExtraContent (pk) ON DELETE SET NULL,
    iconLink INTEGER REFERENCES Icon (pk) ON DELETE SET NULL,
    messageAttributesLink INTEGER REFERENCES MessageAttributes (pk) ON DELETE SET NULL
);
CREATE TABLE MessageStatus (
    pk INTEGER PRIMARY KEY,
    isSentInternal INTEGER NOT NULL DEFAULT 0,
    statusDateInternal INTEGER,
    statusNameInternal TEXT,
    messageId TEXT,
    messageLink INTEGER REFERENCES Message (pk) ON DELETE SET NULL,
    statusLink INTEGER REFERENCES Status (pk) ON DELETE SET NULL,
    leaseExpiryInternal INTEGER
);
CREATE INDEX Message_id ON Message (id);
CREATE INDEX Message_messageDate ON Message (messageDate);
CREATE INDEX Message_statusLink ON Message (statusLink);
CREATE INDEX Message_channelLink ON Message (channelLink);
CREATE INDEX Message_extraContentLink ON Message (extraContentLink);
CREATE INDEX Message_iconLink ON Message (iconLink);
CREATE INDEX Message_messageAttributesLink ON Message (messageAttributesLink);
CREATE INDEX MessageStatus_isSentInternal ON MessageStatus (isSentInternal);
CREATE INDEX MessageStatus_messageId ON MessageStatus (messageId, statusNameInternal);
CREATE INDEX MessageStatus_messageLink ON MessageStatus (messageLink);
CREATE INDEX MessageStatus_statusLink ON MessageStatus (statusLink);
)sql";

// Version 1 kept no lease on the status rows a report is sending.
constexpr const char* upgradeFromVersion1 =
    "ALTER TABLE MessageStatus ADD COLUMN leaseExpiryInternal INTEGER";
constexpr std::int64_t upgradableVersion = 1;

// The other process may hold the write lock for a transaction at a time; a waiter checks often,
// so it gets its turn in the short gaps between a long job's transactions.
constexpr std::chrono::milliseconds busyTimeout{5000};
constexpr std::chrono::milliseconds busyPollInterval{1};

std::int64_t userVersion(SqliteConnection& connection) {
    auto version = connection.prepare("PRAGMA user_version");
    version.step();
    return version.integer(0);
}

// The versions this library knows: its own, the one it upgrades, and 0 for a file that holds
// nothing yet (a new file, whose schema is created next). Any other file is left as it is.
void refuseUnknownSchema(SqliteConnection& connection) {
    // One statement, so that the version and the tables come from one snapshot: another opening
    // may commit the schema between two statements, and its tables must not meet the version 0
    // read before its commit.
    auto found = connection.prepare(
        "SELECT user_version, EXISTS (SELECT 1 FROM sqlite_master) FROM pragma_user_version");
    found.step();
    const auto version = found.integer(0);
    const bool holdsTables = found.integer(1) != 0;
    if (version == MessageDatabase::schemaVersion || version == upgradableVersion ||
        (version == 0 && !holdsTables)) {
        return;
    }
    throw TextError("the message store " + connection.path().string() + " has schema version " +
                    std::to_string(version) + ", which this library does not know (it knows " +
                    std::to_string(MessageDatabase::schemaVersion) + ")");
}

// The schema is created (or upgraded) once, in one transaction, by whichever process comes
// first; the other finds the version set when its own transaction begins.
void createSchemaOnce(SqliteDatabase& database) {
    if (database.withConnection(userVersion) == MessageDatabase::schemaVersion) {
        return;
    }
    database.transaction([](SqliteConnection& connection) {
        refuseUnknownSchema(connection);
        const auto version = userVersion(connection);
        if (version == MessageDatabase::schemaVersion) {
            return;
        }
        connection.execute(version == upgradableVersion ? upgradeFromVersion1 : schema);
        connection.execute("PRAGMA user_version = " +
                           std::to_string(MessageDatabase::schemaVersion));
    });
}

}  // namespace

// ---- Session ----

SqliteStatement& MessageDatabase::Session::statement(const std::string& sql) {
    auto found = statements_.find(sql);
    if (found == statements_.end()) {
        found = statements_.emplace(sql, connection_.prepare(sql)).first;
    }
    auto& statement = found->second;
    statement.reset();
    used_.push_back(&statement);
    return statement;
}

std::int64_t MessageDatabase::Session::totalChanges() {
    auto& total = statement("SELECT total_changes()");
    total.step();
    return total.integer(0);
}

MessageDatabase::Session::~Session() {
    for (auto* statement : used_) {
        statement->reset();
    }
}

// ---- MessageDatabase ----

MessageDatabase::MessageDatabase(const std::filesystem::path& directory)
    : database_(directory / fileName, refuseUnknownSchema) {
    database_.withConnection([](SqliteConnection& connection) {
        connection.pollWhileBusy(busyTimeout, busyPollInterval);
    });
    createSchemaOnce(database_);
}

// NORMAL in WAL mode syncs at checkpoints only; FULL, SQLite's default, at every commit.
MessageDatabase::SyncLevel::SyncLevel(SqliteConnection& connection, Durability durability) {
    if (durability == Durability::deferred) {
        auto current = connection.prepare("PRAGMA synchronous");
        current.step();
        previous_ = current.integer(0);
        connection.execute("PRAGMA synchronous = NORMAL");
        lowered_ = &connection;
    }
}

MessageDatabase::SyncLevel::~SyncLevel() {
    if (lowered_ != nullptr) {
        try {
            lowered_->execute("PRAGMA synchronous = " + std::to_string(previous_));
        } catch (const SqliteError&) {
            // Only a broken connection refuses a pragma; its next write fails on its own.
        }
    }
}

bool MessageDatabase::isInPlace() const {
    return database_.isInPlace();
}

void MessageDatabase::checkInPlace() {
    if (!isInPlace()) {
        nextReadCheck_ = std::chrono::steady_clock::time_point::min();  // every read fails too
        throw TextError("The message store " + path().string() + " was removed or replaced");
    }
    nextReadCheck_ = std::chrono::steady_clock::now() + readCheckInterval;
}

void MessageDatabase::checkInPlaceForRead() {
    if (std::chrono::steady_clock::now() >= nextReadCheck_) {
        checkInPlace();
    }
}

}  // namespace orvanpush::platform
