#include "storage/StorageMessage.h"

#include <chrono>
#include <limits>
#include <thread>

#include "orvanpush/storage/StorageErrors.h"
#include "storage/PredicateSql.h"
#include "utils/logger/log_manager/SdkLog.h"

namespace orvanpush::detail {
namespace {

void logInfo(const std::string& text) {
    SdkLog::message(LogSeverity::info, LoggerModule::storage, text);
}

void logError(const std::string& text) {
    SdkLog::message(LogSeverity::error, LoggerModule::storage, text);
}

// Runs `operation`; a failure is logged as `prefix` and the error, and thrown as the store's
// fatal error with that text. A caller's bad predicate passes unchanged.
template <class Operation>
auto fatalOnFailure(const std::string& prefix, Operation&& operation) {
    try {
        return operation();
    } catch (const PredicateError&) {
        throw;
    } catch (const std::exception& error) {
        const auto text = prefix + error.what();
        logError(text);
        throw InternalError(text);
    }
}

// Runs a save; a failure is logged and thrown as notSaved.
template <class Operation>
auto notSavedOnFailure(Operation&& operation) {
    try {
        return operation();
    } catch (const std::exception& error) {
        logError(error.what());
        throw StorageMessageError::notSaved(error.what());
    }
}

// Runs a look-up; a failure is logged and passes to the caller.
template <class Operation>
auto loggedOnFailure(Operation&& operation) {
    try {
        return operation();
    } catch (const std::exception& error) {
        logError(error.what());
        throw;
    }
}

std::vector<rows::MessageRow> collectRows(platform::SqliteStatement& select) {
    std::vector<rows::MessageRow> messages;
    while (select.step()) {
        messages.push_back({select.integer(0), rows::optionalText(select, 1)});
    }
    return messages;
}

// now - days × 86,400 s, saturating at the earliest date the store can hold.
std::int64_t cutoffOf(Date now, std::int64_t daysLimit) {
    constexpr std::int64_t nanosecondsPerDay = 86'400'000'000'000;
    std::int64_t span = 0;
    std::int64_t cutoff = 0;
    if (__builtin_mul_overflow(daysLimit, nanosecondsPerDay, &span) ||
        __builtin_sub_overflow(storedDate(now), span, &cutoff)) {
        return std::numeric_limits<std::int64_t>::min();
    }
    return cutoff;
}

}  // namespace

std::shared_ptr<StorageMessage> StorageMessage::make(const std::string& groupId) {
    return make(groupId, currentAppTarget());
}

std::shared_ptr<StorageMessage> StorageMessage::make(const std::string& groupId, AppTarget target) {
    auto store = std::make_shared<StorageMessage>(StorageManager::make(groupId, target));
    store->storageManager_->setObserveAppExtensionDataChanges(
        [weak = std::weak_ptr<StorageMessage>(store)] {
            if (auto self = weak.lock()) {
                self->storeDidChange();
            }
        });
    return store;
}

StorageMessage::StorageMessage(std::shared_ptr<StorageManager> storageManager)
    : storageManager_(std::move(storageManager)) {}

// ---- Saving ----

void StorageMessage::saveMessage(const MessageProtocol& message) {
    const auto now = std::chrono::system_clock::now();
    notSavedOnFailure([&] {
        container()->write(
            [&](StoreSession& session) { rows::insertMessage(session, message, now); });
    });
    logInfo("Message saved");
}

void StorageMessage::saveMessage(const MessageProtocol& message,
                                 const MessageAttributesProtocol& attributes) {
    const auto now = std::chrono::system_clock::now();
    notSavedOnFailure([&] {
        container()->write([&](StoreSession& session) {
            rows::setupAttributes(session, rows::insertMessage(session, message, now), attributes);
        });
    });
    logInfo("Messages saved");
}

void StorageMessage::saveMessages(const std::vector<std::shared_ptr<MessageProtocol>>& messages) {
    const auto now = std::chrono::system_clock::now();
    notSavedOnFailure([&] {
        container()->write([&](StoreSession& session) {
            for (const auto& message : messages) {
                if (message) {
                    rows::insertMessage(session, *message, now);
                }
            }
        });
    });
    logInfo("Messages saved");
}

bool StorageMessage::saveMessageIfNew(const MessageProtocol& message,
                                      const MessageAttributesProtocol* attributes) {
    const auto now = std::chrono::system_clock::now();
    const bool saved = notSavedOnFailure([&] {
        return container()->write([&](StoreSession& session) {
            if (rows::messageExists(session, message.id().value_or(""))) {
                return false;
            }
            const auto key = rows::insertMessage(session, message, now);
            if (attributes != nullptr) {
                rows::setupAttributes(session, key, *attributes);
            }
            return true;
        });
    });
    if (saved) {
        logInfo(attributes != nullptr ? "Messages saved" : "Message saved");
    }
    return saved;
}

// ---- Look-ups ----

std::shared_ptr<Message> StorageMessage::messageById(const std::optional<std::string>& messageId) {
    if (!messageId) {
        return nullptr;
    }
    return loggedOnFailure([&] {
        return container()->read([&](StoreSession& session) -> std::shared_ptr<Message> {
            auto& select = session.statement(std::string("SELECT ") + rows::messageColumns +
                                             " FROM Message WHERE id = ? ORDER BY pk LIMIT 1");
            if (!select.bindText(1, *messageId).step()) {
                return nullptr;
            }
            return std::make_shared<Message>(container(), select.integer(0),
                                             rows::readMessage(select));
        });
    });
}

bool StorageMessage::isMessageExists(const std::string& id) {
    return loggedOnFailure([&] {
        return container()->read(
            [&](StoreSession& session) { return rows::messageExists(session, id); });
    });
}

std::shared_ptr<ExtraContent> StorageMessage::extraContent(const std::string& messageId) {
    return loggedOnFailure([&] {
        return container()->read([&](StoreSession& session) -> std::shared_ptr<ExtraContent> {
            auto& select = session.statement(
                "SELECT pk, mimeType, value, messageId FROM ExtraContent WHERE messageId = ? "
                "ORDER BY pk LIMIT 1");
            if (!select.bindText(1, messageId).step()) {
                return nullptr;
            }
            return std::make_shared<ExtraContent>(container(), select.integer(0),
                                                  rows::readContent(select));
        });
    });
}

std::shared_ptr<Icon> StorageMessage::icon(const std::string& url) {
    return loggedOnFailure([&] {
        return container()->read([&](StoreSession& session) -> std::shared_ptr<Icon> {
            auto& select = session.statement(
                "SELECT pk, url, value FROM Icon WHERE url = ? ORDER BY pk LIMIT 1");
            if (!select.bindText(1, url).step()) {
                return nullptr;
            }
            return std::make_shared<Icon>(container(), select.integer(0),
                                          rows::optionalText(select, 1),
                                          rows::optionalText(select, 2));
        });
    });
}

// ---- Rich content and icons ----

void StorageMessage::storeExtraContent(const ExtraContentProtocol& content) {
    notSavedOnFailure([&] {
        container()->write([&](StoreSession& session) {
            auto& insert = session.statement(
                "INSERT INTO ExtraContent (messageId, mimeType, value) VALUES (?, ?, ?) "
                "ON CONFLICT (messageId) DO NOTHING");
            rows::bindOptional(insert, 1, content.messageId());
            rows::bindOptional(insert, 2, content.mimeType());
            rows::bindOptional(insert, 3, content.value());
            insert.run();
            if (!content.messageId()) {
                return;  // no message to link
            }
            session
                .statement(
                    "UPDATE Message SET extraContentLink = "
                    "(SELECT pk FROM ExtraContent WHERE messageId = ?1) "
                    "WHERE pk = (SELECT pk FROM Message WHERE id = ?1 ORDER BY pk LIMIT 1)")
                .bindText(1, *content.messageId())
                .run();
        });
    });
}

void StorageMessage::storeIcon(const IconProtocol& icon,
                               const std::optional<std::string>& messageId) {
    notSavedOnFailure([&] {
        container()->write([&](StoreSession& session) {
            auto& insert = session.statement(
                "INSERT INTO Icon (url, value) VALUES (?, ?) ON CONFLICT (url) DO NOTHING");
            rows::bindOptional(insert, 1, icon.url());
            rows::bindOptional(insert, 2, icon.value());
            insert.run();
            auto key = session.connection().lastInsertRowId();
            if (session.connection().changes() == 0) {
                auto& existing = session.statement("SELECT pk FROM Icon WHERE url = ?");
                existing.bindText(1, icon.url().value_or("")).step();
                key = existing.integer(0);
            }
            if (!messageId) {
                return;
            }
            session
                .statement(
                    "UPDATE Message SET iconLink = ?1 "
                    "WHERE pk = (SELECT pk FROM Message WHERE id = ?2 ORDER BY pk LIMIT 1)")
                .bindInteger(1, key)
                .bindText(2, *messageId)
                .run();
        });
    });
}

// ---- Statuses ----

std::vector<MessageStatusExternal> StorageMessage::getMessageStatusesUnsent() {
    static const auto unsent =
        compilePredicate(Predicate("isSentInternal", Predicate::Operator::equalTo, false),
                         StorageMessageEntity::messageStatus);
    return fatalOnFailure("getMessageStatusesUnsent caused error: ", [&] {
        return container()->read([&](StoreSession& session) {
            auto& select =
                session.statement(std::string("SELECT ") + rows::statusColumns +
                                  " FROM MessageStatus WHERE " + unsent.condition + " ORDER BY pk");
            unsent.bind(select, 1);
            std::vector<MessageStatusExternal> statuses;
            while (select.step()) {
                statuses.push_back(rows::readStatus(select));
            }
            return statuses;
        });
    });
}

std::vector<MessageStatusExternal> StorageMessage::leaseMessageStatusesUnsent(
    const UnsentChooser& choose, Date now) {
    return fatalOnFailure("leaseMessageStatusesUnsent caused error: ", [&] {
        return container()->write(
            [&](StoreSession& session) {
                auto& select = session.statement(
                    std::string("SELECT ") + rows::statusColumns +
                    " FROM MessageStatus WHERE isSentInternal = 0 AND (leaseExpiryInternal IS "
                    "NULL OR leaseExpiryInternal <= ?) ORDER BY pk");
                select.bindInteger(1, storedDate(now));
                std::vector<MessageStatusExternal> free;
                while (select.step()) {
                    free.push_back(rows::readStatus(select));
                }
                auto chosen = choose(std::move(free));
                for (const auto& status : chosen) {
                    session
                        .statement(
                            "UPDATE MessageStatus SET leaseExpiryInternal = ? WHERE "
                            "isSentInternal = 0 AND messageId = ? AND statusNameInternal = ?")
                        .bindInteger(1, storedDate(now + rows::reportLease))
                        .bindText(2, status.messageId().value_or(""))
                        .bindText(3, status.statusName().value_or(""))
                        .run();
                }
                return chosen;
            },
            platform::MessageDatabase::Durability::deferred);
    });
}

void StorageMessage::markMessageStatusAsSent(const MessageStatusExternalProtocol& status) {
    markMessageStatus(status, true);
}

void StorageMessage::markMessageStatusAsUnsent(const MessageStatusExternalProtocol& status) {
    markMessageStatus(status, false);
}

// Rows match on the copy of the message id, so a report whose message was deleted is marked
// too; once sent, such a row has nothing left to keep it.
void StorageMessage::markMessageStatus(const MessageStatusExternalProtocol& status, bool sent) {
    const auto match =
        compilePredicate(Predicate("messageLink.id", Predicate::Operator::equalTo,
                                   status.messageId().value_or("")) &&
                             Predicate("statusNameInternal", Predicate::Operator::equalTo,
                                       status.statusName().value_or("")),
                         StorageMessageEntity::messageStatus);
    const std::string operation = sent ? "markMessageStatusAsSent" : "markMessageStatusAsUnsent";
    fatalOnFailure("saving changes from " + operation + " caused error: ", [&] {
        container()->write([&](StoreSession& session) {
            if (sent) {
                auto& orphans = session.statement(
                    "DELETE FROM MessageStatus WHERE messageLink IS NULL AND " + match.condition);
                match.bind(orphans, 1);
                orphans.run();
            }
            // The report has ended: its lease with it.
            auto& update = session.statement(
                "UPDATE MessageStatus SET isSentInternal = ?1, leaseExpiryInternal = NULL WHERE "
                "(isSentInternal != ?1 OR leaseExpiryInternal IS NOT NULL) AND " +
                match.condition);
            update.bindInteger(1, sent ? 1 : 0);
            match.bind(update, 2);
            update.run();
        });
    });
}

// ---- Deleting ----

template <class Select>
void StorageMessage::deleteInBatches(Select&& select,
                                     platform::MessageDatabase::Durability durability) {
    while (true) {
        const auto deleted = container()->write(
            [&](StoreSession& session) {
                const auto messages = select(session);
                rows::deleteMessages(session, messages);
                return messages.size();
            },
            durability);
        if (deleted < deletionBatch) {
            return;
        }
        std::this_thread::sleep_for(pauseBetweenBatches);
    }
}

void StorageMessage::removeMessages(const Predicate& predicate) {
    const auto where = compilePredicate(predicate, StorageMessageEntity::message);
    const auto sql = "SELECT pk, id FROM Message WHERE " + where.condition + " ORDER BY pk LIMIT " +
                     std::to_string(deletionBatch);
    fatalOnFailure("Remove message with error: ", [&] {
        deleteInBatches([&](StoreSession& session) {
            // A host's predicate is prepared for this call only: the cache keeps the store's own.
            auto selectBatch = session.connection().prepare(sql);
            where.bind(selectBatch, 1);
            return collectRows(selectBatch);
        });
    });
    logInfo("Messages removed");
}

void StorageMessage::removeMessage(const std::string& id) {
    removeMessages(Predicate("id", Predicate::Operator::equalTo, id));
}

void StorageMessage::removeMessages(const std::vector<std::string>& ids) {
    removeMessages(Predicate::in("id", std::vector<PredicateValue>(ids.begin(), ids.end())));
}

void StorageMessage::removeAllMessages() {
    loggedOnFailure([&] {
        deleteInBatches([](StoreSession& session) {
            auto& selectBatch = session.statement("SELECT pk, id FROM Message ORDER BY pk LIMIT " +
                                                  std::to_string(deletionBatch));
            return collectRows(selectBatch);
        });
        logInfo("Messages fetched");
        // The other process may have stored a message since the last batch: its channel and
        // status stay linked.
        container()->write([](StoreSession& session) {
            session
                .statement(
                    "DELETE FROM Channel WHERE NOT EXISTS "
                    "(SELECT 1 FROM Message WHERE channelLink = Channel.pk)")
                .run();
            logInfo("Channels fetched");
            session
                .statement(
                    "DELETE FROM Status WHERE NOT EXISTS "
                    "(SELECT 1 FROM Message WHERE statusLink = Status.pk)")
                .run();
            logInfo("Statuses fetched");
        });
    });
    logInfo("All messages removed");
}

void StorageMessage::cleanup(std::int64_t quantityLimit, std::int64_t daysLimit) {
    cleanup(quantityLimit, daysLimit, std::chrono::system_clock::now());
}

void StorageMessage::cleanup(std::int64_t quantityLimit, std::int64_t daysLimit, Date now) {
    if (quantityLimit < 0 || daysLimit < 0) {
        logError("Clean up skipped: a negative limit deletes nothing");
        return;
    }
    const auto batch = std::to_string(deletionBatch);
    // A deletion a power cut undoes is made again by the next clean-up: no sync per batch.
    constexpr auto retention = platform::MessageDatabase::Durability::deferred;
    fatalOnFailure("Context not saved error: ", [&] {
        const auto cutoff = cutoffOf(now, daysLimit);
        deleteInBatches(
            [&](StoreSession& session) {
                auto& selectBatch = session.statement(
                    "SELECT pk, id FROM Message WHERE messageDate < ? ORDER BY messageDate, pk "
                    "LIMIT " +
                    batch);
                selectBatch.bindInteger(1, cutoff);
                return collectRows(selectBatch);
            },
            retention);
        // The newest quantityLimit messages stay: everything before the last of them goes.
        deleteInBatches(
            [&](StoreSession& session) -> std::vector<rows::MessageRow> {
                if (quantityLimit == 0) {
                    return collectRows(session.statement(
                        "SELECT pk, id FROM Message ORDER BY messageDate, pk LIMIT " + batch));
                }
                auto& lastKept = session.statement(
                    "SELECT messageDate, pk FROM Message ORDER BY messageDate DESC, pk DESC "
                    "LIMIT 1 OFFSET ?");
                if (!lastKept.bindInteger(1, quantityLimit - 1).step()) {
                    return {};
                }
                const auto date = lastKept.integer(0);
                const auto key = lastKept.integer(1);
                auto& selectBatch = session.statement(
                    "SELECT pk, id FROM Message WHERE (messageDate, pk) < (?, ?) "
                    "ORDER BY messageDate, pk LIMIT " +
                    batch);
                selectBatch.bindInteger(1, date).bindInteger(2, key);
                return collectRows(selectBatch);
            },
            retention);
    });
    logInfo("Clean up");
}

// ---- The controller ----

std::shared_ptr<FetchedResultsController> StorageMessage::fetchedResultsController() {
    std::lock_guard lock(controllerMutex_);
    if (!fetchedResultsController_) {
        auto controller = std::make_shared<FetchedResultsController>(
            container(), FetchRequest{std::nullopt, {{"messageDate", true}}});
        fatalOnFailure("Failed to initialize FetchedResultsController: ",
                       [&] { controller->performFetch(); });
        logInfo("Controller fetched");
        fetchedResultsController_ = std::move(controller);
    }
    return fetchedResultsController_;
}

void StorageMessage::setFetchedResultsController(
    std::shared_ptr<FetchedResultsController> controller) {
    std::lock_guard lock(controllerMutex_);
    fetchedResultsController_ = std::move(controller);
}

// Refetch, then tell the delegate; the rows themselves are never rewritten to mark them
// changed.
void StorageMessage::storeDidChange() {
    std::shared_ptr<FetchedResultsController> controller;
    {
        std::lock_guard lock(controllerMutex_);
        controller = fetchedResultsController_;
    }
    if (!controller) {
        return;
    }
    try {
        controller->performFetch();
    } catch (const std::exception& error) {
        logError(std::string("Perform fetch with error: ") + error.what());
        return;
    }
    logInfo("Controller fetched");
    controller->notifyDelegate();
}

}  // namespace orvanpush::detail
