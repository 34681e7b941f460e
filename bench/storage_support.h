#pragma once

// What the message-store benchmarks share: bare SQLite handles for the limit they compare
// with, and a store file of many messages made once and copied into place for each run.

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include "BenchSupport.h"
#include "platform/Home.h"
#include "platform/MessageDatabase.h"

namespace orvanpush::bench {

using Database = Owned<sqlite3, sqlite3_close_v2>;
using Statement = Owned<sqlite3_stmt, sqlite3_finalize>;

/// A bare connection configured as the store configures its own: WAL, foreign keys, busy
/// timeout.
inline Database openBare(const std::filesystem::path& file) {
    sqlite3* raw = nullptr;
    if (sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close_v2(raw);
        throw std::runtime_error("cannot open " + file.string());
    }
    Database database(raw);
    sqlite3_busy_timeout(raw, 5000);
    sqlite3_exec(raw, "PRAGMA journal_mode = WAL; PRAGMA foreign_keys = ON;", nullptr, nullptr,
                 nullptr);
    return database;
}

inline void execute(sqlite3* database, const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(database, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        std::string text = message != nullptr ? message : "?";
        sqlite3_free(message);
        throw std::runtime_error("cannot run " + std::string(sql) + ": " + text);
    }
}

inline Statement prepare(sqlite3* database, const char* sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v3(database, sql, -1, SQLITE_PREPARE_PERSISTENT, &raw, nullptr) !=
        SQLITE_OK) {
        throw std::runtime_error(std::string("cannot prepare: ") + sqlite3_errmsg(database));
    }
    return Statement(raw);
}

/// Steps a write to its end.
inline void run(sqlite3_stmt* statement) {
    if (sqlite3_step(statement) != SQLITE_DONE) {
        throw std::runtime_error(sqlite3_errmsg(sqlite3_db_handle(statement)));
    }
    sqlite3_reset(statement);
}

/// The store file of `groupId`, its schema created by the library.
inline std::filesystem::path storeOf(const std::string& groupId) {
    const auto directory = platform::Home::containerDirectory(groupId);
    platform::MessageDatabase schema(directory);
    return directory / platform::MessageDatabase::fileName;
}

/// Fills the store of `groupId` with `count` received messages, one minute apart, as the
/// receive path writes them (a status, channel and attributes row each, and one history row),
/// checkpointed so the file alone holds them. Returns the file.
inline std::filesystem::path storeOfManyMessages(const std::string& groupId, int count) {
    const auto file = storeOf(groupId);
    auto database = openBare(file);
    execute(database.get(),
            "BEGIN; INSERT INTO Status (name) VALUES ('Delivered');"
            "INSERT INTO Channel (name) VALUES ('push');");
    auto attributes = prepare(database.get(),
                              "INSERT INTO MessageAttributes (messageId, classifierName) "
                              "VALUES (?1, 'news')");
    auto message = prepare(
        database.get(),
        "INSERT INTO Message (id, title, body, messageDate, statusLink, statusDateInternal, "
        "statusNameInternal, channelNameInternal, channelLink, messageAttributesLink) "
        "VALUES (?1, 'Title', 'Body', ?2, 1, ?2, 'Delivered', 'push', 1, ?3)");
    auto status = prepare(database.get(),
                          "INSERT INTO MessageStatus (isSentInternal, statusDateInternal, "
                          "statusNameInternal, messageId, messageLink, statusLink) "
                          "VALUES (1, ?2, 'Delivered', ?1, ?3, 1)");
    for (int i = 0; i < count; ++i) {
        const auto id = "m" + std::to_string(i);
        const sqlite3_int64 date = (1'700'000'000LL + 60LL * i) * 1'000'000'000LL;
        sqlite3_bind_text(attributes.get(), 1, id.c_str(), -1, SQLITE_TRANSIENT);
        run(attributes.get());
        const auto attributesKey = sqlite3_last_insert_rowid(database.get());
        sqlite3_bind_text(message.get(), 1, id.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(message.get(), 2, date);
        sqlite3_bind_int64(message.get(), 3, attributesKey);
        run(message.get());
        const auto messageKey = sqlite3_last_insert_rowid(database.get());
        sqlite3_bind_text(status.get(), 1, id.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(status.get(), 2, date);
        sqlite3_bind_int64(status.get(), 3, messageKey);
        run(status.get());
    }
    execute(database.get(), "COMMIT; PRAGMA wal_checkpoint(TRUNCATE);");
    return file;
}

}  // namespace orvanpush::bench
