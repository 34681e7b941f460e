#include "platform/UserDefaults.h"

#include <chrono>
#include <mutex>
#include <type_traits>
#include <utility>

#include "orvanpush/TextError.h"
#include "orvanpush/platform/ForeignJson.h"
#include "orvanpush/platform/PlatformConfig.h"
#include "platform/FileSystem.h"
#include "platform/Home.h"
#include "platform/SqliteDatabase.h"

namespace orvanpush::platform {
namespace {

// One row per key. The type travels with the value, so a getter for another type answers
// nothing instead of reinterpreting the stored value.
constexpr std::string_view schema =
    "CREATE TABLE IF NOT EXISTS defaults ("
    " key TEXT PRIMARY KEY NOT NULL,"
    " type TEXT NOT NULL,"
    " value NOT NULL)";

constexpr std::string_view selectValue = "SELECT value FROM defaults WHERE key = ?1 AND type = ?2";
constexpr std::string_view upsertValue =
    "INSERT INTO defaults (key, type, value) VALUES (?1, ?2, ?3)"
    " ON CONFLICT (key) DO UPDATE SET type = excluded.type, value = excluded.value";
constexpr std::string_view deleteValue = "DELETE FROM defaults WHERE key = ?1";

constexpr std::string_view stringType = "string";
constexpr std::string_view integerType = "integer";
// Dates are stored as integral nanoseconds since the Unix epoch, so they read back exactly.
constexpr std::string_view dateType = "date";
// String lists are stored as a JSON array of strings.
constexpr std::string_view stringListType = "stringList";

std::optional<std::vector<std::string>> decodeStringList(const std::string& text) {
    // Another process may have written the value.
    const auto json = ForeignJson::tryParse(text);
    if (!json || !json->is_array()) {
        return std::nullopt;
    }
    std::vector<std::string> list;
    list.reserve(json->size());
    for (const auto& element : *json) {
        if (!element.is_string()) {
            return std::nullopt;
        }
        list.push_back(element.get<std::string>());
    }
    return list;
}

std::string encodeStringList(const std::vector<std::string>& list) {
    try {
        return Json(list).dump();
    } catch (const Json::type_error&) {
        throw TextError("A string list to store holds text that is not valid UTF-8");
    }
}

}  // namespace

// The file is created by the first write: a store that is only read (a look-up of an unknown
// instance) leaves nothing behind, yet sees the file as soon as another process creates it. A
// file removed while open is let go, so what is written afterwards goes to the file then found
// at the path, never to the removed one.
struct UserDefaults::Impl {
    Impl(std::string suite, std::filesystem::path file)
        : suiteName(std::move(suite)), file(std::move(file)) {}

    /// The open database; nullptr when the file does not exist and `create` is false. Throws
    /// TextError naming the file when it cannot be opened. Shared: another thread may let the
    /// file go while this one still uses it.
    std::shared_ptr<SqliteDatabase> database(bool create) {
        std::lock_guard lock(mutex);
        if (opened && !opened->isInPlace()) {
            opened.reset();
        }
        if (!opened && (create || FileSystem::exists(file))) {
            usingFile("opened", [&] {
                auto database = std::make_shared<SqliteDatabase>(file);
                database->execute(schema);
                opened = std::move(database);
            });
        }
        return opened;
    }

    /// Runs `operation`; a failure of the file becomes a TextError naming it.
    template <class Operation>
    auto usingFile(const char* verb, Operation&& operation) -> decltype(operation()) {
        try {
            return operation();
        } catch (const std::exception& error) {
            throw TextError("The settings store " + file.string() + " cannot be " + verb + ": " +
                            error.what());
        }
    }

    /// The value under `key` when it is stored with `type`, decoded by `decode` from the row.
    template <class Decode>
    auto read(const std::string& key, std::string_view type, Decode decode)
        -> std::invoke_result_t<Decode&, const SqliteStatement&> {
        const auto store = database(false);
        if (!store) {
            return std::nullopt;
        }
        return usingFile("read", [&] {
            return store->withConnection([&](SqliteConnection& connection) {
                auto select = connection.prepare(selectValue);
                select.bindText(1, key).bindText(2, type);
                return select.step() ? decode(select) : std::nullopt;
            });
        });
    }

    /// Stores `key` with `type` and the value that `bindValue` binds as parameter 3.
    template <class BindValue>
    void write(const std::string& key, std::string_view type, BindValue bindValue) {
        const auto store = database(true);
        usingFile("written", [&] {
            store->withConnection([&](SqliteConnection& connection) {
                auto upsert = connection.prepare(upsertValue);
                upsert.bindText(1, key).bindText(2, type);
                bindValue(upsert);
                upsert.run();
            });
        });
    }

    void remove(const std::string& key) {
        if (const auto store = database(false)) {
            usingFile("written", [&] {
                store->withConnection([&](SqliteConnection& connection) {
                    connection.prepare(deleteValue).bindText(1, key).run();
                });
            });
        }
    }

    const std::string suiteName;
    const std::filesystem::path file;
    std::mutex mutex;
    std::shared_ptr<SqliteDatabase> opened;
};

std::shared_ptr<UserDefaults> UserDefaults::suiteChecked(const std::string& suite) {
    // The longest name beside the file is its lock file's.
    if (!isSafePathComponent(suite) || !isSafePathComponent(suite + ".sqlite-lock")) {
        return nullptr;
    }
    auto impl = std::make_unique<Impl>(suite, Home::defaultsFile(suite));
    // An existing file is opened at once, so one that cannot be used is reported here.
    impl->database(false);
    // The constructor is private; this local class lends it to make_shared.
    struct Constructible : UserDefaults {
        explicit Constructible(std::unique_ptr<Impl> impl) : UserDefaults(std::move(impl)) {}
    };
    return std::make_shared<Constructible>(std::move(impl));
}

std::shared_ptr<UserDefaults> UserDefaults::suite(const std::string& suite) {
    try {
        return suiteChecked(suite);
    } catch (const std::exception&) {
        return nullptr;
    }
}

std::shared_ptr<UserDefaults> UserDefaults::standard() {
    return suite(PlatformConfig::current()->bundleIdentifier);
}

UserDefaults::UserDefaults(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

UserDefaults::~UserDefaults() = default;

const std::string& UserDefaults::suiteName() const {
    return impl_->suiteName;
}

std::optional<std::string> UserDefaults::string(const std::string& key) const {
    return impl_->read(key, stringType, [](const SqliteStatement& row) {
        return row.columnType(0) == SqliteType::text ? std::optional(row.text(0)) : std::nullopt;
    });
}

std::optional<std::int64_t> UserDefaults::integer(const std::string& key) const {
    return impl_->read(key, integerType, [](const SqliteStatement& row) {
        return row.columnType(0) == SqliteType::integer ? std::optional(row.integer(0))
                                                        : std::nullopt;
    });
}

std::optional<Date> UserDefaults::date(const std::string& key) const {
    return impl_->read(key, dateType, [](const SqliteStatement& row) -> std::optional<Date> {
        if (row.columnType(0) != SqliteType::integer) {
            return std::nullopt;
        }
        const std::chrono::nanoseconds sinceEpoch(row.integer(0));
        return Date(std::chrono::duration_cast<Date::duration>(sinceEpoch));
    });
}

std::optional<std::vector<std::string>> UserDefaults::stringList(const std::string& key) const {
    return impl_->read(key, stringListType,
                       [](const SqliteStatement& row) -> std::optional<std::vector<std::string>> {
                           if (row.columnType(0) != SqliteType::text) {
                               return std::nullopt;
                           }
                           return decodeStringList(row.text(0));
                       });
}

void UserDefaults::set(const std::string& key, const std::string& value) {
    impl_->write(key, stringType, [&](SqliteStatement& upsert) { upsert.bindText(3, value); });
}

void UserDefaults::set(const std::string& key, std::int64_t value) {
    impl_->write(key, integerType, [&](SqliteStatement& upsert) { upsert.bindInteger(3, value); });
}

void UserDefaults::set(const std::string& key, Date value) {
    const auto sinceEpoch =
        std::chrono::duration_cast<std::chrono::nanoseconds>(value.time_since_epoch());
    impl_->write(key, dateType,
                 [&](SqliteStatement& upsert) { upsert.bindInteger(3, sinceEpoch.count()); });
}

void UserDefaults::set(const std::string& key, const std::vector<std::string>& value) {
    const auto encoded = encodeStringList(value);
    impl_->write(key, stringListType,
                 [&](SqliteStatement& upsert) { upsert.bindText(3, encoded); });
}

void UserDefaults::remove(const std::string& key) {
    impl_->remove(key);
}

void UserDefaults::setStrings(
    const std::vector<std::pair<std::string, std::optional<std::string>>>& values) {
    const auto store = impl_->database(true);
    impl_->usingFile("written", [&] {
        store->transaction([&](SqliteConnection& connection) {
            for (const auto& [key, value] : values) {
                if (value) {
                    connection.prepare(upsertValue)
                        .bindText(1, key)
                        .bindText(2, stringType)
                        .bindText(3, *value)
                        .run();
                } else {
                    connection.prepare(deleteValue).bindText(1, key).run();
                }
            }
        });
    });
}

}  // namespace orvanpush::platform
