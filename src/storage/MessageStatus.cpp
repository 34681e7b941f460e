#include "orvanpush/storage/MessageStatus.h"

#include "orvanpush/storage/Message.h"
#include "storage/StoreRows.h"
#include "utils/logger/log_manager/SdkLog.h"

namespace orvanpush {

using detail::SdkLog;
using detail::StoreSession;
namespace rows = detail::rows;

MessageStatus::MessageStatus(std::shared_ptr<detail::SharedPersistentContainer> container,
                             std::int64_t key, MessageStatusExternal values)
    : StoredObject(std::move(container), key), values_(std::move(values)) {}

std::optional<std::string> MessageStatus::statusName() const {
    std::lock_guard lock(mutex_);
    return values_.statusName();
}

std::optional<Date> MessageStatus::statusDate() const {
    std::lock_guard lock(mutex_);
    return values_.statusDate();
}

bool MessageStatus::isSent() const {
    std::lock_guard lock(mutex_);
    return values_.isSent();
}

std::optional<std::string> MessageStatus::messageId() const {
    std::lock_guard lock(mutex_);
    return values_.messageId();
}

// Runs the update `sql` (its last parameter the row key) and reads the row back; the update's
// own condition decides whether anything changes.
template <class Bind>
void MessageStatus::write(const char* sql, Bind&& bind) {
    auto stored = container()->write([&](StoreSession& session) {
        auto& update = session.statement(sql);
        bind(update);
        update.run();
        auto& select = session.statement(std::string("SELECT ") + rows::statusColumns +
                                         " FROM MessageStatus WHERE pk = ?");
        return select.bindInteger(1, key()).step() ? std::optional(rows::readStatus(select))
                                                   : std::nullopt;
    });
    if (!stored) {
        SdkLog::message(
            LogSeverity::error, LoggerModule::storage,
            "Status row " + std::to_string(key()) + " is no longer stored; nothing changed");
        return;
    }
    std::lock_guard lock(mutex_);
    values_ = std::move(*stored);
}

void MessageStatus::setStatusName(const std::optional<std::string>& statusName) {
    write(
        "UPDATE MessageStatus SET statusNameInternal = ?1 "
        "WHERE pk = ?2 AND statusNameInternal IS NOT ?1",
        [&](platform::SqliteStatement& update) {
            rows::bindOptional(update, 1, statusName);
            update.bindInteger(2, key());
        });
}

void MessageStatus::setStatusDate(const std::optional<Date>& statusDate) {
    write("UPDATE MessageStatus SET statusDateInternal = ?1 WHERE pk = ?2",
          [&](platform::SqliteStatement& update) {
              rows::bindOptional(update, 1, statusDate);
              update.bindInteger(2, key());
          });
}

void MessageStatus::setIsSent(bool isSent) {
    write("UPDATE MessageStatus SET isSentInternal = ?1 WHERE pk = ?2 AND isSentInternal != ?1",
          [&](platform::SqliteStatement& update) {
              update.bindInteger(1, isSent ? 1 : 0).bindInteger(2, key());
          });
}

std::shared_ptr<Message> MessageStatus::message() const {
    try {
        return container()->read([&](StoreSession& session) -> std::shared_ptr<Message> {
            auto& select = session.statement(
                std::string("SELECT ") + rows::messageColumns +
                " FROM Message WHERE pk = (SELECT messageLink FROM MessageStatus WHERE pk = ?)");
            if (!select.bindInteger(1, key()).step()) {
                return nullptr;
            }
            return std::make_shared<Message>(container(), select.integer(0),
                                             rows::readMessage(select));
        });
    } catch (const std::exception& error) {
        SdkLog::message(LogSeverity::error, LoggerModule::storage,
                        std::string("Reading a status's message failed: ") + error.what());
        return nullptr;
    }
}

}  // namespace orvanpush
