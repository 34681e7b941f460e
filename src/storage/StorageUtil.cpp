#include "storage/StorageUtil.h"

#include <charconv>

#include "orvanpush/platform/MainQueue.h"
#include "orvanpush/storage/StorageErrors.h"
#include "platform/OutstandingWork.h"
#include "security/KeyChainUtil.h"
#include "storage/CustomData.h"
#include "text/Utf8Text.h"
#include "utils/logger/log_manager/SdkLog.h"

namespace orvanpush::detail {
namespace {

void logError(const std::string& text) {
    SdkLog::message(LogSeverity::error, LoggerModule::storage, text);
}

// The store call runs inside the try; the completion is called once, outside it, so a
// completion that throws is never answered a second time.
template <class Value, class Call>
void answer(const StorageUtil::ValueCompletion<Value>& postCompleted, Call&& call) {
    std::optional<Value> value;
    std::optional<TextError> failure;
    try {
        value = call();
    } catch (const StorageMessageError& error) {
        // The failure itself, not the case around it: the caller knows which operation failed.
        failure = TextError(error.kind() == StorageMessageError::Kind::notSaved ? error.reason()
                                                                                : error.what());
    } catch (const std::exception& error) {
        failure = TextError(error.what());
    } catch (...) {
        failure = TextError("Unknown storage error");
    }
    if (!postCompleted) {
        return;
    }
    if (failure) {
        postCompleted("error", Value{}, failure);
    } else {
        postCompleted("success", std::move(*value), std::nullopt);
    }
}

template <class Call>
void answer(const StorageUtil::Completion& postCompleted, Call&& call) {
    answer<bool>(
        [&](const std::string& status, bool, const std::optional<TextError>& error) {
            if (postCompleted) {
                postCompleted(status, error);
            }
        },
        [&] {
            call();
            return true;
        });
}

// A completion that ignores the operation's value.
StorageUtil::ValueCompletion<bool> withoutValue(StorageUtil::Completion postCompleted) {
    return [postCompleted = std::move(postCompleted)](const std::string& status, bool,
                                                      const std::optional<TextError>& error) {
        if (postCompleted) {
            postCompleted(status, error);
        }
    };
}

// The status names the store keeps (the raw values of OrvanPushApiStatus, which lives above
// the store).
constexpr const char* readStatus = "Read";
constexpr const char* deliveredStatus = "Delivered";

MessageImp notificationMessage(const std::string& id, const std::optional<std::string>& title,
                               const std::optional<std::string>& subtitle,
                               const std::optional<std::string>& body, OrvanPushApiStatus status,
                               const std::optional<std::string>& channelName,
                               bool contentAvailable) {
    MessageImp message;
    message.setId(id);
    message.setTitle(title);
    message.setSubtitle(subtitle);
    message.setBody(body);
    message.setStatusName(status == OrvanPushApiStatus::read ? readStatus : deliveredStatus);
    message.setChannelName(channelName);
    message.setContentAvailable(contentAvailable);
    return message;
}

MessageStatusExternalImp reportOf(const std::string& messageId, const std::string& statusName,
                                  bool isSent) {
    MessageStatusExternalImp report;
    report.setMessageId(messageId);
    report.setStatusName(statusName);
    report.setIsSent(isSent);
    return report;
}

// A limit counts only when its whole text is a decimal number from 0 that fits 64 bits.
std::optional<std::int64_t> parseLimit(const std::string& text) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || text.front() == '-' || error != std::errc() ||
        end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

StorageUtil::StorageUtil(std::string instance, std::shared_ptr<SettingsUtils> settingsUtils)
    : instance_(std::move(instance)), settingsUtils_(std::move(settingsUtils)) {}

// ---- Opening ----

std::shared_ptr<StorageMessage> StorageUtil::storage() {
    std::lock_guard lock(mutex_);
    if (storageMessage_) {
        return storageMessage_;
    }
    if (!settingsUtils_) {
        throw TextError("Initialization settings utils error");
    }
    const auto groupId = sharedAppGroup();
    try {
        storageMessage_ = StorageMessage::make(groupId);
    } catch (const std::exception& error) {
        logError(error.what());
        throw TextError("Initialization storage error");
    }
    scheduleCleanup(storageMessage_);
    return storageMessage_;
}

std::string StorageUtil::sharedAppGroup() const {
    if (auto group = settingsUtils_->get(Setting::SharedAppGroup); group && !group->empty()) {
        return *group;
    }
    const auto stored = KeyChain::loadOrThrow(toString(Setting::SharedAppGroup), instance_);
    const auto group = stored ? decodeUtf8(*stored) : std::nullopt;
    if (!group || group->empty()) {
        throw TextError("Shared Application Group not found in settings");
    }
    return *group;
}

std::optional<std::int64_t> StorageUtil::limit(Setting setting) const {
    const auto text = settingsUtils_->get(setting);
    if (!text) {
        return std::nullopt;
    }
    auto value = parseLimit(*text);
    if (!value) {
        logError("Storage limit " + toString(setting) + " \"" + *text +
                 "\" is not a whole number from 0; no clean-up");
    }
    return value;
}

// Retention runs after the store is open, as a job of its own ahead of the caller's: a failure
// is logged by the store and leaves it usable, and deletions go a few hundred per transaction.
void StorageUtil::scheduleCleanup(const std::shared_ptr<StorageMessage>& store) const {
    const auto quantityLimit = limit(Setting::StorageQuantityLimit);
    const auto daysLimit = limit(Setting::StorageDaysLimit);
    if (!quantityLimit || !daysLimit || store->target() != AppTarget::application) {
        return;
    }
    platform::MainQueue::async([store, quantity = *quantityLimit, days = *daysLimit,
                                work = platform::OutstandingWork::begin()] {
        try {
            store->cleanup(quantity, days);
        } catch (const std::exception&) {
            // Logged by the store; the messages not deleted now go at the next clean-up.
        }
    });
}

template <class Job>
void StorageUtil::schedule(Job job) {
    platform::MainQueue::async([store = storage(), job = std::move(job),
                                work = platform::OutstandingWork::begin()] { job(*store); });
}

// ---- Operations ----

void StorageUtil::storeReceivedMessage(const std::string& id, const std::optional<Json>& customData,
                                       const std::optional<std::string>& title,
                                       const std::optional<std::string>& subtitle,
                                       const std::optional<std::string>& body,
                                       OrvanPushApiStatus status,
                                       const std::optional<std::string>& channelName,
                                       ValueCompletion<bool> postCompleted) {
    auto message = notificationMessage(id, title, subtitle, body, status, channelName,
                                       customData && CustomData::contentAvailable(*customData));
    auto attributes =
        customData ? std::optional(CustomData::attributes(id, *customData)) : std::nullopt;
    schedule([message = std::move(message), attributes = std::move(attributes),
              postCompleted = std::move(postCompleted)](StorageMessage& store) {
        answer(postCompleted, [&] {
            return store.saveMessageIfNew(message, attributes ? &*attributes : nullptr);
        });
    });
}

void StorageUtil::messageReceived(const std::string& id, const std::optional<std::string>& title,
                                  const std::optional<std::string>& subtitle,
                                  const std::optional<std::string>& body, OrvanPushApiStatus status,
                                  const std::optional<std::string>& channelName,
                                  Completion postCompleted) {
    storeReceivedMessage(id, std::nullopt, title, subtitle, body, status, channelName,
                         withoutValue(std::move(postCompleted)));
}

void StorageUtil::messageReceived(const std::string& id, const Json& customData,
                                  const std::optional<std::string>& title,
                                  const std::optional<std::string>& subtitle,
                                  const std::optional<std::string>& body, OrvanPushApiStatus status,
                                  const std::optional<std::string>& channelName,
                                  Completion postCompleted) {
    storeReceivedMessage(id, customData, title, subtitle, body, status, channelName,
                         withoutValue(std::move(postCompleted)));
}

void StorageUtil::setMessageRead(const std::string& id, Completion postCompleted) {
    schedule([id, postCompleted = std::move(postCompleted)](StorageMessage& store) {
        answer(postCompleted, [&] {
            const auto message = store.messageById(id);
            if (!message) {
                throw TextError("Message with id " + id + " not found");
            }
            message->setStatusName(readStatus);
        });
    });
}

void StorageUtil::markMessageStatusAsSent(const std::string& messageId,
                                          const std::string& statusName, Completion postCompleted) {
    schedule([report = reportOf(messageId, statusName, true),
              postCompleted = std::move(postCompleted)](StorageMessage& store) {
        answer(postCompleted, [&] { store.markMessageStatusAsSent(report); });
    });
}

void StorageUtil::markMessageStatusAsUnsent(const std::string& messageId,
                                            const std::string& statusName,
                                            Completion postCompleted) {
    schedule([report = reportOf(messageId, statusName, false),
              postCompleted = std::move(postCompleted)](StorageMessage& store) {
        answer(postCompleted, [&] { store.markMessageStatusAsUnsent(report); });
    });
}

void StorageUtil::getMessageStatusesUnsent(
    ValueCompletion<std::vector<MessageStatusExternal>> postCompleted) {
    schedule([postCompleted = std::move(postCompleted)](StorageMessage& store) {
        answer(postCompleted, [&] { return store.getMessageStatusesUnsent(); });
    });
}

void StorageUtil::getMessageById(const std::string& id,
                                 ValueCompletion<std::shared_ptr<Message>> postCompleted) {
    schedule([id, postCompleted = std::move(postCompleted)](StorageMessage& store) {
        answer(postCompleted, [&] { return store.messageById(id); });
    });
}

void StorageUtil::leaseMessageStatusesUnsent(
    StorageMessage::UnsentChooser choose,
    ValueCompletion<std::vector<MessageStatusExternal>> postCompleted) {
    schedule([choose = std::move(choose),
              postCompleted = std::move(postCompleted)](StorageMessage& store) {
        answer(postCompleted, [&] {
            return store.leaseMessageStatusesUnsent(choose, std::chrono::system_clock::now());
        });
    });
}

void StorageUtil::isMessageExists(const std::string& id, ValueCompletion<bool> postCompleted) {
    schedule([id, postCompleted = std::move(postCompleted)](StorageMessage& store) {
        answer(postCompleted, [&] { return store.isMessageExists(id); });
    });
}

void StorageUtil::removeAllMessages(Completion postCompleted) {
    schedule([postCompleted = std::move(postCompleted)](StorageMessage& store) {
        answer(postCompleted, [&] { store.removeAllMessages(); });
    });
}

void StorageUtil::removeMessages(const Predicate& predicate, Completion postCompleted) {
    schedule([predicate, postCompleted = std::move(postCompleted)](StorageMessage& store) {
        answer(postCompleted, [&] { store.removeMessages(predicate); });
    });
}

void StorageUtil::removeMessage(const std::string& id, Completion postCompleted) {
    schedule([id, postCompleted = std::move(postCompleted)](StorageMessage& store) {
        answer(postCompleted, [&] { store.removeMessage(id); });
    });
}

void StorageUtil::getNotificationContent(
    const std::string& id, ValueCompletion<std::shared_ptr<ExtraContentProtocol>> postCompleted) {
    schedule([id, postCompleted = std::move(postCompleted)](StorageMessage& store) {
        answer(postCompleted,
               [&] { return std::shared_ptr<ExtraContentProtocol>(store.extraContent(id)); });
    });
}

void StorageUtil::saveNotificationContent(const ExtraContentProtocol& content,
                                          Completion postCompleted) {
    ExtraContentImp copy;
    copy.setMessageId(content.messageId());
    copy.setMimeType(content.mimeType());
    copy.setValue(content.value());
    schedule([content = std::move(copy),
              postCompleted = std::move(postCompleted)](StorageMessage& store) {
        answer(postCompleted, [&] { store.storeExtraContent(content); });
    });
}

// ---- The controller ----

std::shared_ptr<FetchedResultsController> StorageUtil::getMessages(const Predicate& by) {
    auto controller = storage()->fetchedResultsController();
    const auto earlier = controller->fetchRequest();
    controller->setFetchRequest({by, {{"messageDate", true}}});
    try {
        controller->performFetch();
    } catch (const std::exception& error) {
        controller->setFetchRequest(earlier);
        if (dynamic_cast<const PredicateError*>(&error) != nullptr) {
            throw;
        }
        const auto text =
            std::string("Failed to get FetchedResultsController by predicate: ") + error.what();
        logError(text);
        throw InternalError(text);
    }
    return controller;
}

std::shared_ptr<FetchedResultsController> StorageUtil::fetchedResultsController() {
    return storage()->fetchedResultsController();
}

}  // namespace orvanpush::detail
