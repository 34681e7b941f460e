#include "platform/SecItem.h"

#include <unistd.h>

#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "orvanpush/TextError.h"
#include "orvanpush/platform/PlatformConfig.h"
#include "platform/Home.h"
#include "platform/SqliteDatabase.h"

namespace orvanpush::platform {
namespace {

enum class Kind { text, blob, integer, boolean };

struct Attribute {
    const char* key;
    const char* column;
    Kind kind;
};

// The attributes an item stores and a query can match, in the order of the table's columns.
enum Column : std::size_t {
    itemClass,
    account,
    service,
    accessGroup,
    accessible,
    synchronizable,
    applicationTag,
    keyType,
    keySize,
    keyClass,
    permanent,
    columnCount
};

constexpr std::array<Attribute, columnCount> itemAttributes{{
    {kSecClass, "class", Kind::text},
    {kSecAttrAccount, "account", Kind::text},
    {kSecAttrService, "service", Kind::text},
    {kSecAttrAccessGroup, "access_group", Kind::text},
    {kSecAttrAccessible, "accessible", Kind::text},
    {kSecAttrSynchronizable, "synchronizable", Kind::boolean},
    {kSecAttrApplicationTag, "application_tag", Kind::blob},
    {kSecAttrKeyType, "key_type", Kind::text},
    {kSecAttrKeySizeInBits, "key_size", Kind::integer},
    {kSecAttrKeyClass, "key_class", Kind::text},
    {kSecAttrIsPermanent, "permanent", Kind::boolean},
}};

// What makes two items the same item: a second add of it is a duplicate. A key is identified
// by its material too (as the platform identifies keys by a label derived from them), so a new
// pair generated under the tags of an earlier one is stored beside it and wins look-ups as the
// newer item.
constexpr std::array passwordIdentity{itemClass, account, service, accessGroup, synchronizable};
constexpr std::array keyIdentity{itemClass, applicationTag, keyClass, accessGroup, synchronizable};

constexpr std::string_view schema = R"sql(
CREATE TABLE IF NOT EXISTS items (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    class TEXT NOT NULL,
    account TEXT,
    service TEXT,
    access_group TEXT NOT NULL,
    accessible TEXT,
    synchronizable INTEGER NOT NULL,
    application_tag BLOB,
    key_type TEXT,
    key_size INTEGER,
    key_class TEXT,
    permanent INTEGER,
    value BLOB);
CREATE INDEX IF NOT EXISTS items_by_account ON items (class, account);
CREATE INDEX IF NOT EXISTS items_by_tag ON items (class, application_tag);
)sql";

constexpr Attribute valueAttribute{kSecValueData, "value", Kind::blob};

constexpr std::string_view selectedColumns =
    "class, account, service, access_group, accessible, synchronizable, application_tag, "
    "key_type, key_size, key_class, permanent, value";
constexpr int valueColumn = columnCount;

// An attribute dictionary checked against the keys and value types the keychain knows. A null
// entry is an attribute the dictionary does not give.
struct Dictionary {
    std::array<Json, columnCount> attributes;
    Json data;
    bool returnData = false;
    bool returnAttributes = false;
    bool matchAll = false;

    bool isKey() const { return attributes[itemClass] == kSecClassKey; }
    bool returnsSomething() const { return returnData || returnAttributes; }
};

bool hasKind(const Json& value, Kind kind) {
    switch (kind) {
        case Kind::text:
            return value.is_string();
        case Kind::blob:
            return value.is_binary();
        case Kind::boolean:
            return value.is_boolean();
        case Kind::integer:
            return value.is_number_integer() &&
                   !(value.is_number_unsigned() &&
                     value.get<std::uint64_t>() >
                         static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()));
    }
    return false;
}

bool readOption(std::string_view key, const Json& value, Dictionary& dictionary) {
    if (key == kSecReturnData || key == kSecReturnAttributes) {
        if (!value.is_boolean()) {
            return false;
        }
        (key == kSecReturnData ? dictionary.returnData : dictionary.returnAttributes) =
            value.get<bool>();
        return true;
    }
    if (key == kSecMatchLimit) {
        if (value != kSecMatchLimitOne && value != kSecMatchLimitAll) {
            return false;
        }
        dictionary.matchAll = value == kSecMatchLimitAll;
        return true;
    }
    if (key == kSecValueData) {
        dictionary.data = value;
        return value.is_binary();
    }
    return false;
}

bool readEntry(const std::string& key, const Json& value, Dictionary& dictionary) {
    for (std::size_t column = 0; column < columnCount; ++column) {
        if (key == itemAttributes[column].key) {
            dictionary.attributes[column] = value;
            return hasKind(value, itemAttributes[column].kind);
        }
    }
    return readOption(key, value, dictionary);
}

// Nothing when the dictionary has an unknown key, a value of the wrong type, or no known class.
std::optional<Dictionary> parse(const Json& json) {
    if (!json.is_object()) {
        return std::nullopt;
    }
    Dictionary dictionary;
    for (const auto& [key, value] : json.items()) {
        if (!readEntry(key, value, dictionary)) {
            return std::nullopt;
        }
    }
    const Json& itemClassValue = dictionary.attributes[itemClass];
    if (itemClassValue != kSecClassGenericPassword && itemClassValue != kSecClassKey) {
        return std::nullopt;
    }
    return dictionary;
}

// The values an item gets for what its attributes leave out.
void completeItem(Dictionary& item) {
    auto& attributes = item.attributes;
    if (attributes[accessGroup].is_null()) {
        attributes[accessGroup] = PlatformConfig::current()->defaultKeychainAccessGroup();
    }
    if (attributes[synchronizable].is_null()) {
        attributes[synchronizable] = false;
    }
    if (!item.isKey()) {
        for (Column column : {account, service}) {
            if (attributes[column].is_null()) {
                attributes[column] = "";
            }
        }
    }
}

void bindValue(SqliteStatement& statement, int index, const Json& value, Kind kind) {
    if (value.is_null()) {
        statement.bindNull(index);
        return;
    }
    switch (kind) {
        case Kind::text:
            statement.bindText(index, value.get_ref<const std::string&>());
            break;
        case Kind::blob:
            statement.bindBlob(index, value.get_binary());
            break;
        case Kind::integer:
            statement.bindInteger(index, value.get<std::int64_t>());
            break;
        case Kind::boolean:
            statement.bindInteger(index, value.get<bool>() ? 1 : 0);
            break;
    }
}

// A WHERE clause over whitelisted columns with its values kept apart for binding.
class Filter {
  public:
    void require(const Attribute& attribute, std::string_view comparison, Json value) {
        sql_ += sql_.empty() ? " WHERE " : " AND ";
        sql_ += attribute.column;
        sql_ += comparison;
        sql_ += '?';
        values_.emplace_back(attribute.kind, std::move(value));
    }

    /// The attribute must equal one of `values` (text attributes only).
    void requireOneOf(const Attribute& attribute, const std::vector<std::string>& values) {
        sql_ += sql_.empty() ? " WHERE " : " AND ";
        sql_ += attribute.column;
        sql_ += " IN (";
        for (std::size_t i = 0; i < values.size(); ++i) {
            sql_ += i == 0 ? "?" : ", ?";
            values_.emplace_back(attribute.kind, values[i]);
        }
        sql_ += ')';
    }

    const std::string& sql() const { return sql_; }

    void bind(SqliteStatement& statement, int first = 1) const {
        int index = first;
        for (const auto& [kind, value] : values_) {
            bindValue(statement, index++, value, kind);
        }
    }

  private:
    std::string sql_;
    std::vector<std::pair<Kind, Json>> values_;
};

// The groups a query without access group sees: the process's default group and the groups it
// is entitled to, never another application's.
std::vector<std::string> entitledGroups() {
    auto config = PlatformConfig::current();
    std::vector<std::string> groups{config->defaultKeychainAccessGroup()};
    groups.insert(groups.end(), config->keychainAccessGroups.begin(),
                  config->keychainAccessGroups.end());
    return groups;
}

// Every attribute the query gives must equal the item's. A query that names no access group
// sees the groups the process is entitled to. A query that does not ask for synchronizable
// items sees only the others, as the mobile platform's keychain does. A key's accessibility is
// kept but never narrows a query: the processes sharing a key may have chosen different values,
// and each must still find it.
Filter matching(const Dictionary& query) {
    Filter filter;
    for (std::size_t column = 0; column < columnCount; ++column) {
        if (column == accessible && query.isKey()) {
            continue;
        }
        if (!query.attributes[column].is_null()) {
            filter.require(itemAttributes[column], " = ", query.attributes[column]);
        }
    }
    if (query.attributes[accessGroup].is_null()) {
        filter.requireOneOf(itemAttributes[accessGroup], entitledGroups());
    }
    if (query.attributes[synchronizable].is_null()) {
        filter.require(itemAttributes[synchronizable], " = ", false);
    }
    return filter;
}

Filter sameItem(const Dictionary& item) {
    Filter filter;
    auto requireEach = [&](const auto& columns) {
        for (Column column : columns) {
            filter.require(itemAttributes[column], " IS ", item.attributes[column]);
        }
    };
    if (item.isKey()) {
        requireEach(keyIdentity);
        filter.require(valueAttribute, " IS ", item.data);
    } else {
        requireEach(passwordIdentity);
    }
    return filter;
}

Json columnValue(const SqliteStatement& row, int column, Kind kind) {
    switch (kind) {
        case Kind::text:
            return row.text(column);
        case Kind::blob:
            return Json::binary(row.blob(column));
        case Kind::integer:
            return row.integer(column);
        case Kind::boolean:
            return row.integer(column) != 0;
    }
    return nullptr;
}

// The row in the shape the request asks for: the data alone, or the attributes (with the data
// when that is asked too), or nothing.
Json resultOf(const SqliteStatement& row, const Dictionary& request) {
    if (!request.returnAttributes) {
        return request.returnData ? Json::binary(row.blob(valueColumn)) : Json();
    }
    Json attributes = Json::object();
    for (std::size_t column = 0; column < columnCount; ++column) {
        int index = static_cast<int>(column);
        if (!row.isNull(index)) {
            attributes[itemAttributes[column].key] =
                columnValue(row, index, itemAttributes[column].kind);
        }
    }
    if (request.returnData) {
        attributes[kSecValueData] = Json::binary(row.blob(valueColumn));
    }
    return attributes;
}

// The process's connection to the keychain file, opened on first use. Calls are serialized
// within the process; other processes are coordinated by SQLite's file locks.
class KeychainFile {
  public:
    static KeychainFile& shared() {
        static KeychainFile file;
        return file;
    }

    template <class Operation>
    OSStatus use(Operation&& operation) {
        std::lock_guard lock(mutex_);
        return operation(connection());
    }

  private:
    SqliteConnection& connection() {
        if (connection_ && owner_ != ::getpid()) {
            // A forked child must neither use nor close the connection it inherited: the file
            // locks behind it belong to the parent. It opens its own and leaves that one be.
            static_cast<void>(connection_.release());
        }
        if (connection_ && !connection_->isInPlace()) {
            // What would be written now would vanish with the removed file: this call fails,
            // and the next one opens the file found at the path then.
            connection_.reset();
            throw TextError("The keychain " + Home::keychainFile().string() +
                            " was removed or replaced");
        }
        if (!connection_) {
            auto opened = SqliteConnection::open(Home::keychainFile());
            opened.execute(schema);
            connection_ = std::make_unique<SqliteConnection>(std::move(opened));
            owner_ = ::getpid();
        }
        return *connection_;
    }

    std::mutex mutex_;
    std::unique_ptr<SqliteConnection> connection_;
    pid_t owner_ = 0;
};

// The transaction SecItemTransaction runs on this thread, if any: the calls made inside it use
// its connection (the keychain lock is already held) and report a failure by marking it.
struct OpenTransaction {
    SqliteConnection* connection = nullptr;
    bool failed = false;
};
thread_local OpenTransaction openTransaction;

// Runs `operation` on the keychain file; a file that cannot be opened, read or written is an
// I/O failure, never an exception.
template <class Operation>
OSStatus withKeychain(Operation&& operation) {
    try {
        if (openTransaction.connection != nullptr) {
            return operation(*openTransaction.connection);
        }
        return KeychainFile::shared().use(std::forward<Operation>(operation));
    } catch (const std::exception&) {
        openTransaction.failed = true;
        return errSecIO;
    }
}

// Thrown to roll back a change whose status is not success; carries that status out.
struct Undo {
    OSStatus status;
};

OSStatus keepOrUndo(OSStatus status) {
    if (status != errSecSuccess) {
        throw Undo{status};
    }
    return status;
}

// Runs the change `body` all or nothing: in a transaction of its own, or in a savepoint of the
// open SecItemTransaction. A status other than success undoes what `body` changed.
template <class Body>
OSStatus atomically(SqliteConnection& connection, Body&& body) {
    try {
        if (openTransaction.connection == nullptr) {
            return connection.transaction(
                [&](SqliteConnection& transaction) { return keepOrUndo(body(transaction)); });
        }
        connection.execute("SAVEPOINT item");
        try {
            const OSStatus status = keepOrUndo(body(connection));
            connection.execute("RELEASE item");
            return status;
        } catch (...) {
            connection.execute("ROLLBACK TO item; RELEASE item");
            throw;
        }
    } catch (const Undo& undo) {
        return undo.status;
    }
}

std::string selectMatching(const Filter& filter, bool matchAll) {
    return "SELECT " + std::string(selectedColumns) + " FROM items" + filter.sql() +
           " ORDER BY id DESC" + (matchAll ? "" : " LIMIT 1");
}

void insert(SqliteConnection& connection, const Dictionary& item) {
    auto statement = connection.prepare("INSERT INTO items (" + std::string(selectedColumns) +
                                        ") VALUES (?, ?, ?, ?, ?, ?, ?, "
                                        "?, ?, ?, ?, ?)");
    for (std::size_t column = 0; column < columnCount; ++column) {
        bindValue(statement, static_cast<int>(column) + 1, item.attributes[column],
                  itemAttributes[column].kind);
    }
    bindValue(statement, valueColumn + 1, item.data, valueAttribute.kind);
    statement.run();
}

Json readBack(SqliteConnection& connection, std::int64_t id, const Dictionary& request) {
    auto statement =
        connection.prepare("SELECT " + std::string(selectedColumns) + " FROM items WHERE id = ?");
    statement.bindInteger(1, id);
    return statement.step() ? resultOf(statement, request) : Json();
}

// The attributes an update sets: item attributes other than the class, and the value.
std::optional<Dictionary> parseChanges(const Json& json) {
    if (!json.is_object() || json.contains(kSecClass)) {
        return std::nullopt;
    }
    Dictionary changes;
    for (const auto& [key, value] : json.items()) {
        const bool option =
            key == kSecReturnData || key == kSecReturnAttributes || key == kSecMatchLimit;
        if (option || !readEntry(key, value, changes)) {
            return std::nullopt;
        }
    }
    return changes;
}

// "UPDATE items SET column = ?, ..." for every attribute `changes` gives, in column order.
std::string assignments(const Dictionary& changes) {
    std::string sql;
    auto assign = [&](const Attribute& attribute) {
        sql += sql.empty() ? "UPDATE items SET " : ", ";
        sql += attribute.column;
        sql += " = ?";
    };
    for (std::size_t column = 0; column < columnCount; ++column) {
        if (!changes.attributes[column].is_null()) {
            assign(itemAttributes[column]);
        }
    }
    if (!changes.data.is_null()) {
        assign(valueAttribute);
    }
    return sql;
}

int bindChanges(SqliteStatement& statement, const Dictionary& changes) {
    int index = 1;
    for (std::size_t column = 0; column < columnCount; ++column) {
        if (!changes.attributes[column].is_null()) {
            bindValue(statement, index++, changes.attributes[column], itemAttributes[column].kind);
        }
    }
    if (!changes.data.is_null()) {
        bindValue(statement, index++, changes.data, valueAttribute.kind);
    }
    return index;
}

// True when two items share an identity (see passwordIdentity and keyIdentity).
bool hasDuplicates(SqliteConnection& connection) {
    auto statement = connection.prepare(
        "SELECT 1 FROM items WHERE class = 'genp' "
        "GROUP BY account, service, access_group, synchronizable HAVING COUNT(*) > 1 "
        "UNION ALL SELECT 1 FROM items WHERE class = 'keys' "
        "GROUP BY application_tag, key_class, access_group, synchronizable, value "
        "HAVING COUNT(*) > 1 LIMIT 1");
    return statement.step();
}

}  // namespace

OSStatus SecItemAdd(const Json& attributes, Json* result) {
    auto item = parse(attributes);
    if (!item) {
        return errSecParam;
    }
    completeItem(*item);
    Json added;
    OSStatus status = withKeychain([&](SqliteConnection& connection) {
        return atomically(connection, [&](SqliteConnection& transaction) {
            Filter duplicate = sameItem(*item);
            auto existing = transaction.prepare("SELECT 1 FROM items" + duplicate.sql());
            duplicate.bind(existing);
            if (existing.step()) {
                return errSecDuplicateItem;
            }
            insert(transaction, *item);
            if (result != nullptr && item->returnsSomething()) {
                added = readBack(transaction, transaction.lastInsertRowId(), *item);
            }
            return errSecSuccess;
        });
    });
    if (status == errSecSuccess && result != nullptr && item->returnsSomething()) {
        *result = std::move(added);
    }
    return status;
}

OSStatus SecItemCopyMatching(const Json& query, Json* result) {
    auto request = parse(query);
    if (!request) {
        return errSecParam;
    }
    return withKeychain([&](SqliteConnection& connection) {
        Filter filter = matching(*request);
        auto statement = connection.prepare(selectMatching(filter, request->matchAll));
        filter.bind(statement);
        Json found = Json::array();
        while (statement.step()) {
            found.push_back(resultOf(statement, *request));
        }
        if (found.empty()) {
            return errSecItemNotFound;
        }
        if (result != nullptr) {
            if (!request->returnsSomething()) {
                *result = Json();
            } else {
                *result = request->matchAll ? std::move(found) : std::move(found.front());
            }
        }
        return errSecSuccess;
    });
}

OSStatus SecItemDelete(const Json& query) {
    auto request = parse(query);
    if (!request) {
        return errSecParam;
    }
    return withKeychain([&](SqliteConnection& connection) {
        Filter filter = matching(*request);
        auto statement = connection.prepare("DELETE FROM items" + filter.sql());
        filter.bind(statement);
        statement.run();
        return connection.changes() > 0 ? errSecSuccess : errSecItemNotFound;
    });
}

OSStatus SecItemUpdate(const Json& query, const Json& attributesToUpdate) {
    auto request = parse(query);
    auto changes = parseChanges(attributesToUpdate);
    if (!request || !changes) {
        return errSecParam;
    }
    const std::string update = assignments(*changes);
    if (update.empty()) {
        return errSecParam;
    }
    return withKeychain([&](SqliteConnection& connection) {
        return atomically(connection, [&](SqliteConnection& transaction) {
            Filter filter = matching(*request);
            auto statement = transaction.prepare(update + filter.sql());
            filter.bind(statement, bindChanges(statement, *changes));
            statement.run();
            if (transaction.changes() == 0) {
                return errSecItemNotFound;
            }
            return hasDuplicates(transaction) ? errSecDuplicateItem : errSecSuccess;
        });
    });
}

OSStatus SecItemTransaction(const std::function<OSStatus()>& steps) {
    if (openTransaction.connection != nullptr) {
        return steps();
    }
    try {
        return KeychainFile::shared().use([&](SqliteConnection& connection) {
            try {
                return connection.transaction([&](SqliteConnection& transaction) {
                    openTransaction = {&transaction, false};
                    struct Close {
                        ~Close() { openTransaction = {}; }
                    } close;
                    const OSStatus status = steps();
                    return keepOrUndo(openTransaction.failed ? errSecIO : status);
                });
            } catch (const Undo& undo) {
                return undo.status;
            }
        });
    } catch (const std::exception&) {
        return errSecIO;
    }
}

}  // namespace orvanpush::platform
