#include "storage/StoreRows.h"

#include <type_traits>

#include "storage/PredicateSql.h"
#include "text/Utf8Text.h"

namespace orvanpush::detail::rows {
namespace {

using platform::SqliteStatement;

std::int64_t findOrCreate(StoreSession& session, const std::string& select,
                          const std::string& insert, const std::string& key) {
    auto& found = session.statement(select);
    if (found.bindText(1, key).step()) {
        return found.integer(0);
    }
    session.statement(insert).bindText(1, key).run();
    return session.connection().lastInsertRowId();
}

// One column as a setter of the values takes it: a text or date (absent for NULL), a flag, or a
// small number.
template <class Value>
Value columnValue(const SqliteStatement& row, int column) {
    if constexpr (std::is_same_v<Value, std::optional<std::string>>) {
        return optionalText(row, column);
    } else if constexpr (std::is_same_v<Value, std::optional<Date>>) {
        return optionalDate(row, column);
    } else if constexpr (std::is_same_v<Value, bool>) {
        return row.integer(column) != 0;
    } else {
        return static_cast<Value>(row.integer(column));
    }
}

// The values of a row: its columns from 1 on, in turn, each handed to the setter in the same
// place.
template <class Values, class... Arguments>
Values readColumns(const SqliteStatement& row, void (Values::*... setters)(Arguments)) {
    Values values;
    int column = 1;
    ((values.*setters)(columnValue<std::remove_cvref_t<Arguments>>(row, column++)), ...);
    return values;
}

// What filling a message links it to: the status, channel and attributes rows, found or
// created, and the time of its status.
struct Links {
    Date statusTime;
    std::int64_t status;
    std::int64_t channel;
    std::int64_t attributes;
};

Links linksOf(StoreSession& session, const MessageProtocol& message, Date now) {
    return {message.statusDate().value_or(now),
            findOrCreateStatus(session, message.statusName().value_or("")),
            findOrCreateChannel(session, message.channelName().value_or("")),
            findOrCreateAttributes(session, message.id().value_or(""))};
}

// Parameters 1 to 12 of the insert and of the update of a message, in the same order.
void bindSetup(SqliteStatement& statement, const MessageProtocol& message,
               const std::optional<Date>& messageDate, const Links& links) {
    bindOptional(statement, 1, message.id());
    statement.bindInteger(2, message.contentAvailable() ? 1 : 0);
    bindOptional(statement, 3, message.body());
    bindOptional(statement, 4, message.title());
    bindOptional(statement, 5, message.subtitle());
    bindOptional(statement, 6, messageDate);
    statement.bindInteger(7, links.status);
    statement.bindInteger(8, storedDate(links.statusTime));
    bindOptional(statement, 9, message.statusName());
    bindOptional(statement, 10, message.channelName());
    statement.bindInteger(11, links.channel);
    statement.bindInteger(12, links.attributes);
}

// One history row and one unsent report per status change, leased to the report that the
// change is made for.
void insertHistoryRow(StoreSession& session, std::int64_t message,
                      const std::optional<std::string>& messageId,
                      const std::optional<std::string>& statusName, Date statusTime,
                      std::int64_t status) {
    auto& insert = session.statement(
        "INSERT INTO MessageStatus (isSentInternal, statusDateInternal, statusNameInternal, "
        "messageId, messageLink, statusLink, leaseExpiryInternal) VALUES (0, ?, ?, ?, ?, ?, ?)");
    insert.bindInteger(1, storedDate(statusTime));
    bindOptional(insert, 2, statusName);
    bindOptional(insert, 3, messageId);
    insert.bindInteger(4, message).bindInteger(5, status);
    insert.bindInteger(6, storedDate(std::chrono::system_clock::now() + reportLease)).run();
}

}  // namespace

MessageImp readMessage(const SqliteStatement& row) {
    return readColumns(row, &MessageImp::setId, &MessageImp::setTitle, &MessageImp::setSubtitle,
                       &MessageImp::setBody, &MessageImp::setMessageDate,
                       &MessageImp::setContentAvailable, &MessageImp::setStatusName,
                       &MessageImp::setStatusDate, &MessageImp::setChannelName);
}

MessageStatusExternal readStatus(const SqliteStatement& row) {
    using Status = MessageStatusExternal;
    return readColumns(row, &Status::setStatusName, &Status::setStatusDate, &Status::setIsSent,
                       &Status::setMessageId);
}

ExtraContentImp readContent(const SqliteStatement& row) {
    using Content = ExtraContentImp;
    return readColumns(row, &Content::setMimeType, &Content::setValue, &Content::setMessageId);
}

MessageAttributesImp readAttributes(const SqliteStatement& row) {
    using Attributes = MessageAttributesImp;
    return readColumns(row, &Attributes::setClassifierdId, &Attributes::setClassifierName,
                       &Attributes::setIsImportant, &Attributes::setMessageDate,
                       &Attributes::setMessageId);
}

std::optional<std::string> optionalText(const SqliteStatement& row, int column) {
    return row.isNull(column) ? std::nullopt : std::optional(row.text(column));
}

std::optional<Date> optionalDate(const SqliteStatement& row, int column) {
    return row.isNull(column) ? std::nullopt : std::optional(dateFromStored(row.integer(column)));
}

void bindOptional(SqliteStatement& statement, int index, const std::optional<std::string>& text) {
    if (text) {
        statement.bindText(index, *text);
    } else {
        statement.bindNull(index);
    }
}

void bindOptional(SqliteStatement& statement, int index, const std::optional<Date>& date) {
    if (date) {
        statement.bindInteger(index, storedDate(*date));
    } else {
        statement.bindNull(index);
    }
}

std::int64_t findOrCreateStatus(StoreSession& session, const std::string& name) {
    return findOrCreate(session, "SELECT pk FROM Status WHERE name = ?",
                        "INSERT INTO Status (name) VALUES (?)", name);
}

std::int64_t findOrCreateChannel(StoreSession& session, const std::string& name) {
    return findOrCreate(session, "SELECT pk FROM Channel WHERE name = ?",
                        "INSERT INTO Channel (name) VALUES (?)", name);
}

std::int64_t findOrCreateAttributes(StoreSession& session, const std::string& messageId) {
    return findOrCreate(session, "SELECT pk FROM MessageAttributes WHERE messageId = ?",
                        "INSERT INTO MessageAttributes (messageId) VALUES (?)", messageId);
}

bool messageExists(StoreSession& session, const std::string& id) {
    auto& exists = session.statement("SELECT EXISTS (SELECT 1 FROM Message WHERE id = ?)");
    exists.bindText(1, id).step();
    return exists.integer(0) != 0;
}

std::int64_t insertMessage(StoreSession& session, const MessageProtocol& message, Date now) {
    const auto links = linksOf(session, message, now);
    auto& insert = session.statement(
        "INSERT INTO Message (id, contentAvailable, body, title, subtitle, messageDate, "
        "statusLink, statusDateInternal, statusNameInternal, channelNameInternal, channelLink, "
        "messageAttributesLink) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    bindSetup(insert, message, message.messageDate().value_or(now), links);
    insert.run();
    const auto key = session.connection().lastInsertRowId();
    insertHistoryRow(session, key, message.id(), message.statusName(), links.statusTime,
                     links.status);
    return key;
}

bool setupMessage(StoreSession& session, std::int64_t key, const MessageProtocol& message,
                  Date now) {
    if (!loadMessage(session, key)) {
        return false;
    }
    const auto links = linksOf(session, message, now);
    auto& update = session.statement(
        "UPDATE Message SET id = ?, contentAvailable = ?, body = ?, title = ?, subtitle = ?, "
        "messageDate = coalesce(?, messageDate), statusLink = ?, statusDateInternal = ?, "
        "statusNameInternal = ?, channelNameInternal = coalesce(?, channelNameInternal), "
        "channelLink = ?, messageAttributesLink = ? WHERE pk = ?");
    bindSetup(update, message, message.messageDate(), links);
    update.bindInteger(13, key).run();
    // The copies of the message's id follow it.
    auto& copies =
        session.statement("UPDATE MessageStatus SET messageId = ? WHERE messageLink = ?");
    bindOptional(copies, 1, message.id());
    copies.bindInteger(2, key).run();
    insertHistoryRow(session, key, message.id(), message.statusName(), links.statusTime,
                     links.status);
    return true;
}

void setupAttributes(StoreSession& session, std::int64_t key,
                     const MessageAttributesProtocol& attributes) {
    auto& update = session.statement(
        "UPDATE MessageAttributes SET classifierName = ?, classifierdId = ?, isImportant = ?, "
        "messageDate = ? WHERE pk = (SELECT messageAttributesLink FROM Message WHERE pk = ?)");
    bindOptional(update, 1, attributes.classifierName());
    update.bindInteger(2, attributes.classifierdId()).bindInteger(3, attributes.isImportant());
    bindOptional(update, 4, attributes.messageDate());
    update.bindInteger(5, key).run();
}

Change changeStatus(StoreSession& session, std::int64_t key, const std::string& name, Date now) {
    auto& current = session.statement("SELECT statusNameInternal, id FROM Message WHERE pk = ?");
    if (!current.bindInteger(1, key).step()) {
        return Change::rowGone;
    }
    if (!current.isNull(0) && current.text(0) == name) {
        return Change::unchanged;
    }
    const auto messageId = optionalText(current, 1);
    const auto status = findOrCreateStatus(session, name);
    session
        .statement(
            "UPDATE Message SET statusNameInternal = ?, statusDateInternal = ?, statusLink = ? "
            "WHERE pk = ?")
        .bindText(1, name)
        .bindInteger(2, storedDate(now))
        .bindInteger(3, status)
        .bindInteger(4, key)
        .run();
    insertHistoryRow(session, key, messageId, name, now, status);
    return Change::applied;
}

Change changeChannel(StoreSession& session, std::int64_t key, const std::string& name) {
    auto& current = session.statement(
        "SELECT Channel.name FROM Message LEFT JOIN Channel ON Channel.pk = Message.channelLink "
        "WHERE Message.pk = ?");
    if (!current.bindInteger(1, key).step()) {
        return Change::rowGone;
    }
    if (!current.isNull(0) && current.text(0) == name) {
        return Change::unchanged;
    }
    const auto channel = findOrCreateChannel(session, name);
    session.statement("UPDATE Message SET channelNameInternal = ?, channelLink = ? WHERE pk = ?")
        .bindText(1, name)
        .bindInteger(2, channel)
        .bindInteger(3, key)
        .run();
    return Change::applied;
}

Change setStatusDate(StoreSession& session, std::int64_t key, const std::optional<Date>& date) {
    auto& update = session.statement("UPDATE Message SET statusDateInternal = ? WHERE pk = ?");
    bindOptional(update, 1, date);
    update.bindInteger(2, key).run();
    return session.connection().changes() == 0 ? Change::rowGone : Change::applied;
}

std::optional<MessageImp> loadMessage(StoreSession& session, std::int64_t key) {
    auto& select =
        session.statement(std::string("SELECT ") + messageColumns + " FROM Message WHERE pk = ?");
    if (!select.bindInteger(1, key).step()) {
        return std::nullopt;
    }
    return readMessage(select);
}

// One statement per table for the whole batch: the keys and the ids travel as JSON arrays. An id
// that is not valid UTF-8 (a host may store any bytes) cannot be written in JSON; its rows go
// with a statement of its own.
void deleteMessages(StoreSession& session, const std::vector<MessageRow>& messages) {
    if (messages.empty()) {
        return;
    }
    Json keys = Json::array();
    Json ids = Json::array();
    std::vector<std::string> unlistedIds;
    for (const auto& message : messages) {
        keys.push_back(message.key);
        const std::string id = message.id.value_or("");  // attributes of a message without id: ""
        if (isWellFormedUtf8(id)) {
            ids.push_back(id);
        } else {
            unlistedIds.push_back(id);
        }
    }
    const auto keyList = keys.dump();
    // "+" keeps the planner on the messageLink index: the sent-flag index would walk every
    // sent row of the store for each batch.
    session
        .statement(
            "DELETE FROM MessageStatus WHERE messageLink IN "
            "(SELECT value FROM json_each(?)) AND +isSentInternal = 1")
        .bindText(1, keyList)
        .run();
    session.statement("DELETE FROM Message WHERE pk IN (SELECT value FROM json_each(?))")
        .bindText(1, keyList)
        .run();
    // What is keyed by an id goes once no message with that id is left.
    auto deleteOrphans = [&](const char* table, const std::string& idCondition,
                             const std::string& boundIds) {
        session
            .statement(std::string("DELETE FROM ") + table + " WHERE messageId " + idCondition +
                       " AND NOT EXISTS (SELECT 1 FROM Message WHERE Message.id = " + table +
                       ".messageId OR (" + table + ".messageId = '' AND Message.id IS NULL))")
            .bindText(1, boundIds)
            .run();
    };
    const auto idList = ids.dump();
    for (const auto* table : {"MessageAttributes", "ExtraContent"}) {
        deleteOrphans(table, "IN (SELECT value FROM json_each(?))", idList);
        for (const auto& id : unlistedIds) {
            deleteOrphans(table, "= ?", id);
        }
    }
}

}  // namespace orvanpush::detail::rows
