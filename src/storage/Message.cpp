#include "orvanpush/storage/Message.h"

#include <chrono>

#include "orvanpush/storage/MessageStatus.h"
#include "storage/StoreRows.h"
#include "utils/logger/log_manager/SdkLog.h"

namespace orvanpush {
namespace {

using detail::SdkLog;
using detail::StoreSession;
namespace rows = detail::rows;

// A link read for a getter: nothing when there is none or the store cannot be read (logged).
template <class Make>
auto readLink(const std::shared_ptr<detail::SharedPersistentContainer>& container,
              const std::string& sql, std::int64_t key, Make make)
    -> decltype(make(std::declval<const platform::SqliteStatement&>())) {
    try {
        return container->read([&](StoreSession& session) {
            auto& select = session.statement(sql);
            return select.bindInteger(1, key).step() ? make(select) : nullptr;
        });
    } catch (const std::exception& error) {
        SdkLog::message(LogSeverity::error, LoggerModule::storage,
                        std::string("Reading a linked row failed: ") + error.what());
        return nullptr;
    }
}

std::string described(const std::optional<std::string>& id) {
    return id ? "\"" + *id + "\"" : "without id";
}

}  // namespace

Message::Message(std::shared_ptr<detail::SharedPersistentContainer> container, std::int64_t key,
                 MessageImp values)
    : StoredObject(std::move(container), key), values_(std::move(values)) {}

MessageImp Message::values() const {
    std::lock_guard lock(mutex_);
    return values_;
}

std::optional<std::string> Message::id() const {
    return values().id();
}
std::optional<std::string> Message::title() const {
    return values().title();
}
std::optional<std::string> Message::subtitle() const {
    return values().subtitle();
}
std::optional<std::string> Message::body() const {
    return values().body();
}
std::optional<Date> Message::messageDate() const {
    return values().messageDate();
}
bool Message::contentAvailable() const {
    return values().contentAvailable();
}
std::optional<std::string> Message::statusName() const {
    return values().statusName();
}
std::optional<Date> Message::statusDate() const {
    return values().statusDate();
}
std::optional<std::string> Message::channelName() const {
    return values().channelName();
}

bool Message::reload() {
    auto loaded =
        container()->read([&](StoreSession& session) { return rows::loadMessage(session, key()); });
    if (!loaded) {
        SdkLog::message(LogSeverity::error, LoggerModule::storage,
                        "Message " + described(id()) + " is no longer stored; nothing changed");
        return false;
    }
    std::lock_guard lock(mutex_);
    values_ = std::move(*loaded);
    return true;
}

void Message::setStatusName(const std::optional<std::string>& statusName) {
    if (!statusName) {
        return;
    }
    const auto now = std::chrono::system_clock::now();
    const auto change = container()->write([&](StoreSession& session) {
        return rows::changeStatus(session, key(), *statusName, now);
    });
    if (change != rows::Change::unchanged) {
        reload();
    }
}

void Message::setStatusDate(const std::optional<Date>& statusDate) {
    container()->write(
        [&](StoreSession& session) { return rows::setStatusDate(session, key(), statusDate); });
    reload();
}

void Message::setChannelName(const std::optional<std::string>& channelName) {
    if (!channelName) {
        return;
    }
    const auto change = container()->write(
        [&](StoreSession& session) { return rows::changeChannel(session, key(), *channelName); });
    if (change != rows::Change::unchanged) {
        reload();
    }
}

void Message::setup(const MessageProtocol& message) {
    const auto now = std::chrono::system_clock::now();
    container()->write(
        [&](StoreSession& session) { return rows::setupMessage(session, key(), message, now); });
    reload();
}

void Message::setupAttributes(const MessageAttributesProtocol& attributes) {
    container()->write(
        [&](StoreSession& session) { rows::setupAttributes(session, key(), attributes); });
}

std::shared_ptr<Status> Message::status() const {
    return readLink(container(),
                    "SELECT Status.pk, Status.name FROM Message JOIN Status "
                    "ON Status.pk = Message.statusLink WHERE Message.pk = ?",
                    key(), [&](const platform::SqliteStatement& row) {
                        return std::make_shared<Status>(container(), row.integer(0),
                                                        rows::optionalText(row, 1));
                    });
}

std::shared_ptr<Channel> Message::channel() const {
    return readLink(container(),
                    "SELECT Channel.pk, Channel.name FROM Message JOIN Channel "
                    "ON Channel.pk = Message.channelLink WHERE Message.pk = ?",
                    key(), [&](const platform::SqliteStatement& row) {
                        return std::make_shared<Channel>(container(), row.integer(0),
                                                         rows::optionalText(row, 1));
                    });
}

std::shared_ptr<ExtraContent> Message::extraContent() const {
    return readLink(container(),
                    "SELECT ExtraContent.pk, mimeType, value, messageId FROM Message "
                    "JOIN ExtraContent ON ExtraContent.pk = Message.extraContentLink "
                    "WHERE Message.pk = ?",
                    key(), [&](const platform::SqliteStatement& row) {
                        return std::make_shared<ExtraContent>(container(), row.integer(0),
                                                              rows::readContent(row));
                    });
}

std::shared_ptr<Icon> Message::icon() const {
    return readLink(container(),
                    "SELECT Icon.pk, url, value FROM Message JOIN Icon "
                    "ON Icon.pk = Message.iconLink WHERE Message.pk = ?",
                    key(), [&](const platform::SqliteStatement& row) {
                        return std::make_shared<Icon>(container(), row.integer(0),
                                                      rows::optionalText(row, 1),
                                                      rows::optionalText(row, 2));
                    });
}

std::shared_ptr<MessageAttributes> Message::messageAttributes() const {
    return readLink(container(),
                    "SELECT MessageAttributes.pk, classifierdId, classifierName, isImportant, "
                    "MessageAttributes.messageDate, messageId FROM Message JOIN MessageAttributes "
                    "ON MessageAttributes.pk = Message.messageAttributesLink WHERE Message.pk = ?",
                    key(), [&](const platform::SqliteStatement& row) {
                        return std::make_shared<MessageAttributes>(container(), row.integer(0),
                                                                   rows::readAttributes(row));
                    });
}

std::vector<std::shared_ptr<MessageStatus>> Message::messageStatuses() const {
    try {
        return container()->read([&](StoreSession& session) {
            auto& select = session.statement(std::string("SELECT ") + rows::statusColumns +
                                             " FROM MessageStatus WHERE messageLink = ? "
                                             "ORDER BY pk");
            select.bindInteger(1, key());
            std::vector<std::shared_ptr<MessageStatus>> statuses;
            while (select.step()) {
                statuses.push_back(std::make_shared<MessageStatus>(container(), select.integer(0),
                                                                   rows::readStatus(select)));
            }
            return statuses;
        });
    } catch (const std::exception& error) {
        SdkLog::message(LogSeverity::error, LoggerModule::storage,
                        std::string("Reading a message's statuses failed: ") + error.what());
        return {};
    }
}

}  // namespace orvanpush
