#include "orvanpush/storage/Message.h"

#include <chrono>
#include <functional>

#include "orvanpush/storage/MessageStatus.h"
#include "storage/StoreRows.h"
#include "utils/logger/log_manager/SdkLog.h"

namespace orvanpush {
namespace {

using detail::SdkLog;
using detail::StoreSession;
namespace rows = detail::rows;

// The store gives the key of a deleted newest row to the next message it stores: a row is this
// object's while it holds the key and this message's id.
constexpr const char* sameMessage = "Message.pk = ? AND Message.id IS ?";

void bindMessage(platform::SqliteStatement& statement, int index, std::int64_t key,
                 const std::optional<std::string>& id) {
    statement.bindInteger(index, key);
    rows::bindOptional(statement, index + 1, id);
}

// Runs `change` in one write when the message's row is still there: a row that is gone, or that
// another message now holds, is left as it is.
rows::Change changeOwnRow(detail::SharedPersistentContainer& container, std::int64_t key,
                          const std::optional<std::string>& id,
                          const std::function<rows::Change(StoreSession&)>& change) {
    return container.write([&](StoreSession& session) {
        auto& select = session.statement(std::string("SELECT 1 FROM Message WHERE ") + sameMessage);
        bindMessage(select, 1, key, id);
        return select.step() ? change(session) : rows::Change::rowGone;
    });
}

// A link read for a getter: nothing when there is none or the store cannot be read (logged).
template <class Make>
auto readLink(const std::shared_ptr<detail::SharedPersistentContainer>& container,
              const std::string& sql, std::int64_t key, const std::optional<std::string>& id,
              Make make) -> decltype(make(std::declval<const platform::SqliteStatement&>())) {
    try {
        return container->read([&](StoreSession& session) {
            auto& select = session.statement(sql + sameMessage);
            bindMessage(select, 1, key, id);
            return select.step() ? make(select) : nullptr;
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

bool Message::reload(const std::optional<std::string>& id) {
    auto loaded = container()->read([&](StoreSession& session) -> std::optional<MessageImp> {
        auto loaded = rows::loadMessage(session, key());
        return loaded && loaded->id() == id ? loaded : std::nullopt;
    });
    if (!loaded) {
        SdkLog::message(
            LogSeverity::error, LoggerModule::storage,
            "Message " + described(this->id()) + " is no longer stored; nothing changed");
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
    const auto change = changeOwnRow(*container(), key(), id(), [&](StoreSession& session) {
        return rows::changeStatus(session, key(), *statusName, now);
    });
    if (change != rows::Change::unchanged) {
        reload(id());
    }
}

void Message::setStatusDate(const std::optional<Date>& statusDate) {
    changeOwnRow(*container(), key(), id(), [&](StoreSession& session) {
        return rows::setStatusDate(session, key(), statusDate);
    });
    reload(id());
}

void Message::setChannelName(const std::optional<std::string>& channelName) {
    if (!channelName) {
        return;
    }
    const auto change = changeOwnRow(*container(), key(), id(), [&](StoreSession& session) {
        return rows::changeChannel(session, key(), *channelName);
    });
    if (change != rows::Change::unchanged) {
        reload(id());
    }
}

void Message::setup(const MessageProtocol& message) {
    const auto now = std::chrono::system_clock::now();
    const auto change = changeOwnRow(*container(), key(), id(), [&](StoreSession& session) {
        return rows::setupMessage(session, key(), message, now) ? rows::Change::applied
                                                                : rows::Change::rowGone;
    });
    reload(change == rows::Change::applied ? message.id() : id());
}

void Message::setupAttributes(const MessageAttributesProtocol& attributes) {
    changeOwnRow(*container(), key(), id(), [&](StoreSession& session) {
        rows::setupAttributes(session, key(), attributes);
        return rows::Change::applied;
    });
}

std::shared_ptr<Status> Message::status() const {
    return readLink(container(),
                    "SELECT Status.pk, Status.name FROM Message JOIN Status "
                    "ON Status.pk = Message.statusLink WHERE ",
                    key(), id(), [&](const platform::SqliteStatement& row) {
                        return std::make_shared<Status>(container(), row.integer(0),
                                                        rows::optionalText(row, 1));
                    });
}

std::shared_ptr<Channel> Message::channel() const {
    return readLink(container(),
                    "SELECT Channel.pk, Channel.name FROM Message JOIN Channel "
                    "ON Channel.pk = Message.channelLink WHERE ",
                    key(), id(), [&](const platform::SqliteStatement& row) {
                        return std::make_shared<Channel>(container(), row.integer(0),
                                                         rows::optionalText(row, 1));
                    });
}

std::shared_ptr<ExtraContent> Message::extraContent() const {
    return readLink(container(),
                    "SELECT ExtraContent.pk, mimeType, value, messageId FROM Message "
                    "JOIN ExtraContent ON ExtraContent.pk = Message.extraContentLink "
                    "WHERE ",
                    key(), id(), [&](const platform::SqliteStatement& row) {
                        return std::make_shared<ExtraContent>(container(), row.integer(0),
                                                              rows::readContent(row));
                    });
}

std::shared_ptr<Icon> Message::icon() const {
    return readLink(container(),
                    "SELECT Icon.pk, url, value FROM Message JOIN Icon "
                    "ON Icon.pk = Message.iconLink WHERE ",
                    key(), id(), [&](const platform::SqliteStatement& row) {
                        return std::make_shared<Icon>(container(), row.integer(0),
                                                      rows::optionalText(row, 1),
                                                      rows::optionalText(row, 2));
                    });
}

std::shared_ptr<MessageAttributes> Message::messageAttributes() const {
    return readLink(container(),
                    "SELECT MessageAttributes.pk, classifierdId, classifierName, isImportant, "
                    "MessageAttributes.messageDate, messageId FROM Message JOIN MessageAttributes "
                    "ON MessageAttributes.pk = Message.messageAttributesLink WHERE ",
                    key(), id(), [&](const platform::SqliteStatement& row) {
                        return std::make_shared<MessageAttributes>(container(), row.integer(0),
                                                                   rows::readAttributes(row));
                    });
}

std::vector<std::shared_ptr<MessageStatus>> Message::messageStatuses() const {
    try {
        return container()->read([&](StoreSession& session) {
            auto& select = session.statement(std::string("SELECT ") + rows::statusColumns +
                                             " FROM MessageStatus WHERE messageLink = "
                                             "(SELECT pk FROM Message WHERE " +
                                             sameMessage + ") ORDER BY pk");
            bindMessage(select, 1, key(), id());
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
