// The host's view of the local message store: its live list, look-ups and deletions. Failures
// are logged and become "no result"; nothing here throws.

#include <utility>

#include "orvanpush/PushSDK.h"
#include "sdk/OperationSupport.h"
#include "sdk/PushSDKState.h"
#include "text/Utf8Text.h"

namespace orvanpush {

using namespace detail;

namespace {

using RemovalCompletion = std::function<void(std::optional<TextError>)>;

bool succeeded(const std::string& status) {
    return status == "success";
}

void answer(const RemovalCompletion& postCompleted, std::optional<TextError> failure) {
    if (postCompleted) {
        postCompleted(std::move(failure));
    }
}

std::optional<TextError> failureOf(const std::string& status,
                                   const std::optional<TextError>& error) {
    if (succeeded(status)) {
        return std::nullopt;
    }
    return error.value_or(TextError("Storage error"));
}

}  // namespace

void PushSDK::removeAllMessages() {
    removeAllMessages(nullptr);
}

void PushSDK::removeAllMessages(RemovalCompletion postCompleted) {
    logEntry("Removing all messages");
    try {
        state_->storageUtil->removeAllMessages(
            [postCompleted](const std::string& status, const std::optional<TextError>& error) {
                if (succeeded(status)) {
                    logEntry("All messages were removed");
                } else {
                    logEntry("Error on removing all messages: " + descriptionOf(error),
                             LogSeverity::error);
                }
                answer(postCompleted, failureOf(status, error));
            });
    } catch (const std::exception& error) {
        logEntry(std::string("Error on removing all messages: ") + error.what(),
                 LogSeverity::error);
        answer(postCompleted, TextError(error.what()));
    }
}

void PushSDK::removeMessage(const std::string& by) {
    removeMessage(by, nullptr);
}

void PushSDK::removeMessage(const std::string& by, RemovalCompletion postCompleted) {
    const auto id = repairUtf8(by);
    try {
        state_->storageUtil->removeMessage(id, [id, postCompleted](
                                                   const std::string& status,
                                                   const std::optional<TextError>& error) {
            if (succeeded(status)) {
                logEntry("Remove result success", LogSeverity::trace);
                logEntry("Message with id " + id + " was removed");
            } else {
                logEntry("Remove result error", LogSeverity::trace);
                logEntry("Error on removing message with id " + id + ": " + descriptionOf(error),
                         LogSeverity::error);
            }
            answer(postCompleted, failureOf(status, error));
        });
    } catch (const std::exception& error) {
        logEntry(std::string("Remove error: ") + error.what(), LogSeverity::trace);
        logEntry("Error on removing message with id (" + id + "): " + error.what(),
                 LogSeverity::error);
        answer(postCompleted, TextError(error.what()));
    }
}

void PushSDK::removeMessages(const Predicate& predicate) {
    removeMessages(predicate, nullptr);
}

void PushSDK::removeMessages(const Predicate& predicate, RemovalCompletion postCompleted) {
    const auto format = predicate.format();
    try {
        state_->storageUtil->removeMessages(
            predicate, [format, postCompleted](const std::string& status,
                                               const std::optional<TextError>& error) {
                if (succeeded(status)) {
                    logEntry("Remove result success", LogSeverity::trace);
                    logEntry("Messages by predicate " + format + " was removed");
                } else {
                    logEntry("Remove result error", LogSeverity::trace);
                    logEntry("Error on removing messages by predicate " + format + ": " +
                                 descriptionOf(error),
                             LogSeverity::error);
                }
                answer(postCompleted, failureOf(status, error));
            });
    } catch (const std::exception& error) {
        logEntry(std::string("Remove error ") + error.what(), LogSeverity::trace);
        logEntry("Error on removing messages by predicate " + format + ": " + error.what(),
                 LogSeverity::error);
        answer(postCompleted, TextError(error.what()));
    }
}

std::shared_ptr<FetchedResultsController> PushSDK::getFetchedResultsController() {
    try {
        return state_->storageUtil->fetchedResultsController();
    } catch (const std::exception& error) {
        logEntry(std::string("Error on getting fetch result controller: ") + error.what(),
                 LogSeverity::error);
        return nullptr;
    }
}

void PushSDK::getMessageById(const std::string& id,
                             std::function<void(std::shared_ptr<MessageProtocol>)> postCompleted) {
    const auto messageId = repairUtf8(id);
    const auto deliver = [postCompleted =
                              std::move(postCompleted)](std::shared_ptr<MessageProtocol> message) {
        if (postCompleted) {
            postCompleted(std::move(message));
        }
    };
    try {
        state_->storageUtil->getMessageById(
            messageId, [deliver](const std::string& status, std::shared_ptr<Message> message,
                                 const std::optional<TextError>&) {
                if (succeeded(status)) {
                    logEntry("Get message result success", LogSeverity::trace);
                    deliver(std::move(message));
                } else {
                    logEntry("Get message result error", LogSeverity::trace);
                    deliver(nullptr);
                }
            });
    } catch (const std::exception& error) {
        logEntry("Error on getting messages by id (" + messageId + "): " + error.what(),
                 LogSeverity::error);
        deliver(nullptr);
    }
}

std::shared_ptr<FetchedResultsController> PushSDK::getMessageByPredicate(
    const Predicate& predicate) {
    try {
        return state_->storageUtil->getMessages(predicate);
    } catch (const std::exception& error) {
        logEntry(
            "Error on getting messages by predicate (" + predicate.format() + "): " + error.what(),
            LogSeverity::error);
        return nullptr;
    }
}

}  // namespace orvanpush
