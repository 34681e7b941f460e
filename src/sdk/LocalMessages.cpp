// The host's view of the local message store: its live list, look-ups and deletions. Failures
// are logged and become "no result"; nothing here throws.

#include <utility>

#include "orvanpush/PushSDK.h"
#include "sdk/FacadeLog.h"
#include "sdk/PushSDKState.h"
#include "utils/Utf8Text.h"

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
    logInfo("Removing all messages");
    try {
        state_->storageUtil->removeAllMessages(
            [postCompleted](const std::string& status, const std::optional<TextError>& error) {
                if (succeeded(status)) {
                    logInfo("All messages were removed");
                } else {
                    logError("Error on removing all messages: " + descriptionOf(error));
                }
                answer(postCompleted, failureOf(status, error));
            });
    } catch (const std::exception& error) {
        logError(std::string("Error on removing all messages: ") + error.what());
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
                logTrace("Remove result success");
                logInfo("Message with id " + id + " was removed");
            } else {
                logTrace("Remove result error");
                logError("Error on removing message with id " + id + ": " + descriptionOf(error));
            }
            answer(postCompleted, failureOf(status, error));
        });
    } catch (const std::exception& error) {
        logTrace(std::string("Remove error: ") + error.what());
        logError("Error on removing message with id (" + id + "): " + error.what());
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
                    logTrace("Remove result success");
                    logInfo("Messages by predicate " + format + " was removed");
                } else {
                    logTrace("Remove result error");
                    logError("Error on removing messages by predicate " + format + ": " +
                             descriptionOf(error));
                }
                answer(postCompleted, failureOf(status, error));
            });
    } catch (const std::exception& error) {
        logTrace(std::string("Remove error ") + error.what());
        logError("Error on removing messages by predicate " + format + ": " + error.what());
        answer(postCompleted, TextError(error.what()));
    }
}

std::shared_ptr<FetchedResultsController> PushSDK::getFetchedResultsController() {
    try {
        return state_->storageUtil->fetchedResultsController();
    } catch (const std::exception& error) {
        logError(std::string("Error on getting fetch result controller: ") + error.what());
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
                    logTrace("Get message result success");
                    deliver(std::move(message));
                } else {
                    logTrace("Get message result error");
                    deliver(nullptr);
                }
            });
    } catch (const std::exception& error) {
        logError("Error on getting messages by id (" + messageId + "): " + error.what());
        deliver(nullptr);
    }
}

std::shared_ptr<FetchedResultsController> PushSDK::getMessageByPredicate(
    const Predicate& predicate) {
    try {
        return state_->storageUtil->getMessages(predicate);
    } catch (const std::exception& error) {
        logError("Error on getting messages by predicate (" + predicate.format() +
                 "): " + error.what());
        return nullptr;
    }
}

}  // namespace orvanpush
