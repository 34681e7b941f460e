// Receipt and reading of push messages: what the extension calls when a notification arrives,
// and the application when the user opens one. Both report through the delivery reports.

#include <utility>

#include "orvanpush/OrvanPushSDKError.h"
#include "orvanpush/PushSDK.h"
#include "orvanpush/platform/MainQueue.h"
#include "platform/OutstandingWork.h"
#include "sdk/CallbackQueue.h"
#include "sdk/HostText.h"
#include "sdk/OperationSupport.h"
#include "sdk/PushSDKState.h"
#include "sdk/StatusReport.h"
#include "sdk/UnsentStatuses.h"
#include "text/Utf8Text.h"
#include "utils/PushUtils.h"

namespace orvanpush {

using namespace detail;

namespace {

using DuplicateCheck = decltype(StatusReport::duplicateCheck);

std::optional<std::string> messageIdOf(const Json& userInfo) {
    const auto found = userInfo.find("message-id");
    if (found == userInfo.end() || !found->is_string()) {
        return std::nullopt;
    }
    return found->get<std::string>();
}

// The payload's "custom-data" object, if it has one.
std::optional<Json> customDataOf(const Json& userInfo) {
    const auto found = userInfo.find("custom-data");
    if (found == userInfo.end() || !found->is_object()) {
        return std::nullopt;
    }
    return *found;
}

// When the instance silences duplicates, removes the sound of `content` if the store already
// held the message (or could not tell), as the transaction that stores it found.
DuplicateCheck silencer(const PushSDKState& state, const std::string& id,
                        const std::shared_ptr<MutableNotificationContent>& content) {
    return [silence = state.silenceDuplicates, id, content](const std::string& status, bool exists,
                                                            const std::optional<TextError>& error) {
        if (!silence) {
            return;
        }
        bool duplicate = true;
        if (status == "success") {
            logEntry("Message exists result success", LogSeverity::trace);
            duplicate = exists;
        } else {
            logEntry("Message exists result error", LogSeverity::trace);
            logEntry(
                "Message with id \"" + id + "\" existance check error: " + descriptionOf(error),
                LogSeverity::error);
        }
        logEntry("Message with id \"" + id + "\" exists: " + (duplicate ? "true" : "false"),
                 LogSeverity::error);
        if (duplicate) {
            logEntry("Silence message with id \"" + id + "\"");
            content->setSound(std::nullopt);
        }
    };
}

// False when the store cannot be opened, so nothing can be checked or stored.
bool storeCanBeAsked(const PushSDKState& state) {
    try {
        state.storageUtil->storage();
        return true;
    } catch (const std::exception&) {
        logEntry("Error on silence duplicates", LogSeverity::error);
        return false;
    }
}

// The processing of a received message: without a title it is silent (reported, not stored).
void receiveMessage(const std::shared_ptr<PushSDKState>& state, const std::string& messageId,
                    const std::optional<std::string>& title,
                    const std::optional<std::string>& subtitle,
                    const std::optional<std::string>& body, std::optional<Json> customData,
                    const std::optional<std::string>& with, ReportCompletion postCompleted,
                    DuplicateCheck duplicateCheck = nullptr) {
    logEntry("Message received. MessageID: " + messageId);
    updatePushNotificationStatus(state,
                                 {.messageId = messageId,
                                  .title = title,
                                  .subtitle = subtitle,
                                  .body = body,
                                  .status = OrvanPushApiStatus::delivered,
                                  .customData = std::move(customData),
                                  .with = with,
                                  .limit = kResendLimit,
                                  .pushEnabled = true,
                                  .kind = title ? ReportKind::event : ReportKind::silent,
                                  .duplicateCheck = std::move(duplicateCheck)},
                                 std::move(postCompleted));
}

// Custom data a host hands over, repaired; nested deeper than the library walks, it is refused.
std::optional<Json> repairedCustomData(const std::optional<Json>& customData) {
    if (!customData) {
        return std::nullopt;
    }
    try {
        return repairedJson(*customData);
    } catch (const TextError&) {
        throw OrvanPushSDKError::invalidParameter("customData");
    }
}

ReportCompletion resultCompletion(PushSDK::ResultCompletion completion) {
    return [completion = std::move(completion)](const BaseApiResult& result, std::exception_ptr) {
        complete(completion, result);
    };
}

}  // namespace

void PushSDK::onMessageReceive(const NotificationRequest& request,
                               const std::optional<std::string>& with,
                               std::function<void(std::optional<BaseApiResult>, std::exception_ptr,
                                                  std::optional<MutableNotificationContent>)>
                                   postCompleted) {
    logEntry("Message received");
    std::shared_ptr<MutableNotificationContent> content;
    try {
        content = std::make_shared<MutableNotificationContent>(repairedContent(request.content));
    } catch (const TextError&) {
        // A payload too deep to copy (ForeignJson::kMaxDepth): there is no content to show.
        logEntry("bestAttemptContent not found", LogSeverity::error);
        if (postCompleted) {
            postCompleted(std::nullopt,
                          std::make_exception_ptr(TextError("bestAttemptContent not found")),
                          std::nullopt);
        }
        return;
    }
    // The content is read here before the duplicate check may change its sound on the main
    // queue; it is handed on (moved: it is delivered once) only after that check's job has run.
    auto deliver = [content, postCompleted = std::move(postCompleted)](
                       std::optional<BaseApiResult> result, std::exception_ptr error) {
        if (postCompleted) {
            postCompleted(std::move(result), std::move(error), std::move(*content));
        }
    };
    const auto messageId = messageIdOf(content->userInfo());
    if (!messageId) {
        logEntry("Message id not found in notification payload", LogSeverity::error);
        deliver(std::nullopt,
                std::make_exception_ptr(TextError("message id not found in notification payload")));
        return;
    }
    const std::string title = content->title();
    const std::string subtitle = content->subtitle();
    const std::string body = content->body();
    auto customData = customDataOf(content->userInfo());
    DuplicateCheck duplicateCheck;
    if (storeCanBeAsked(*state_)) {
        duplicateCheck = silencer(*state_, *messageId, content);
        logEntry(customData ? "Message custom data is available"
                            : "Message custom data is not available",
                 LogSeverity::trace);
    } else {
        customData.reset();
    }
    try {
        receiveMessage(
            state_, *messageId, title, subtitle, body, std::move(customData), repaired(with),
            [deliver](const BaseApiResult& result, std::exception_ptr notStored) {
                deliver(result, std::move(notStored));
            },
            duplicateCheck);
    } catch (...) {
        // Nothing is stored: the duplicate check is a look-up then.
        try {
            if (duplicateCheck) {
                state_->storageUtil->isMessageExists(*messageId, duplicateCheck);
            }
        } catch (const std::exception&) {
            logEntry("Error on silence duplicates", LogSeverity::error);
        }
        platform::MainQueue::async(
            [deliver, error = std::current_exception(), work = platform::OutstandingWork::begin()] {
                postToCallbackQueue([deliver, error] { deliver(std::nullopt, error); });
            });
    }
}

void PushSDK::onMessageReceive(const std::string& messageId,
                               const std::optional<std::string>& title,
                               const std::optional<std::string>& subtitle,
                               const std::optional<std::string>& body,
                               const std::optional<Json>& customData,
                               const std::optional<std::string>& with,
                               ReceiptCompletion postCompleted) {
    receiveMessage(state_, repairUtf8(messageId), repaired(title), repaired(subtitle),
                   repaired(body), repairedCustomData(customData), repaired(with),
                   [postCompleted = std::move(postCompleted)](const BaseApiResult& result,
                                                              std::exception_ptr notStored) {
                       if (postCompleted) {
                           postCompleted(result, std::move(notStored));
                       }
                   });
}

void PushSDK::onMessageRead(const NotificationResponse& didReceive,
                            ResultCompletion postCompleted) {
    logEntry("Message read");
    const auto messageId = messageIdOf(didReceive.request.content.userInfo());
    if (!messageId) {
        logEntry("Message id not found in notification payload", LogSeverity::error);
        if (postCompleted) {
            postCompleted(std::nullopt);
        }
        return;
    }
    onMessageRead(*messageId, std::move(postCompleted));
}

void PushSDK::onMessageRead(const std::string& messageId, ResultCompletion postCompleted) {
    const auto id = repairUtf8(messageId);
    logEntry("Message read. MessageID: " + id);
    const bool pushEnabled = PushUtils::isPushEnabled();
    updatePushNotificationStatus(state_,
                                 {.messageId = id,
                                  .status = OrvanPushApiStatus::read,
                                  .limit = kResendLimit,
                                  .pushEnabled = pushEnabled},
                                 resultCompletion(std::move(postCompleted)));
}

}  // namespace orvanpush
