// Rich content of a message: downloaded from the push server, and kept in the store once it
// has been fetched.

#include <utility>

#include "api/ContentDownloadTarget.h"
#include "orvanpush/PushSDK.h"
#include "orvanpush/platform/MainQueue.h"
#include "platform/OutstandingWork.h"
#include "sdk/FacadeLog.h"
#include "sdk/PushSDKState.h"
#include "sdk/SubscriberIdentity.h"
#include "sdk/UnsentStatuses.h"
#include "utils/ContentConverter.h"
#include "utils/Utf8Text.h"

namespace orvanpush {

using namespace detail;

namespace {

constexpr int kResendLimit = 5;

using ContentCompletion = std::function<void(std::shared_ptr<ExtraContentProtocol>)>;

void download(const std::shared_ptr<PushSDKState>& state,
              const std::optional<std::string>& messageId, std::optional<double> requestTimeout,
              std::function<void(ContentDownloadResult)> postCompleted) {
    logInfo("Start download content process");
    const auto address = addressFromSettings(*state);
    const auto id = PushSDKState::checkMandatoryParameter(messageId, "messageId");
    logInfo("Parameters: address - \"" + address + "\", messageId - " + id);
    auto signature = signWithDeviceKey(*state, address + id);
    ContentDownloadTarget target{
        {.headers = state->getHeaders(toString(ApiMethods::downloadContent)),
         .retryCount = 3,
         .requestTimeout = requestTimeout,
         .address = address,
         .messageId = id,
         .signature = std::move(signature)}};
    state->apiService.send(target, [state, postCompleted = std::move(postCompleted)](
                                       ContentDownloadResult result) {
        if (result.getResultKind() == ResultKind::error) {
            logError("Error on download content process: " + std::to_string(result.getErrorCode()) +
                     ": " + result.getErrorDescription().value_or("no description"));
        } else {
            logInfo("Download content process successfully completed");
            processUnsentStatuses(state, kResendLimit);
        }
        postCompleted(std::move(result));
    });
}

// Runs `task` on the main queue: at once when already there.
void onMainQueue(std::function<void()> task) {
    if (platform::MainQueue::isCurrent()) {
        task();
    } else {
        platform::MainQueue::async(
            [task = std::move(task), work = platform::OutstandingWork::begin()] { task(); });
    }
}

void storeContent(const PushSDKState& state, const std::string& id,
                  const std::shared_ptr<ExtraContentProtocol>& content,
                  const ContentCompletion& postCompleted) {
    const auto failed = [id](const std::string& description) {
        logError("Error on saving content for message with id \"" + id + "\": " + description);
    };
    try {
        state.storageUtil->saveNotificationContent(
            *content, [failed, content, postCompleted](const std::string& status,
                                                       const std::optional<TextError>& error) {
                if (status != "success") {
                    failed(descriptionOf(error));
                }
                postCompleted(content);
            });
    } catch (const std::exception& error) {
        failed(error.what());
        onMainQueue([content, postCompleted] { postCompleted(content); });
    }
}

// Downloads the content of `id`, stores it and hands it on; none when that fails.
void fetchContent(const std::shared_ptr<PushSDKState>& state, const std::string& id,
                  const ContentCompletion& postCompleted) {
    const auto nothing = [postCompleted] {
        onMainQueue([postCompleted] { postCompleted(nullptr); });
    };
    try {
        download(
            state, id, std::nullopt,
            [state, id, postCompleted, nothing](const ContentDownloadResult& result) {
                if (result.getResultKind() == ResultKind::error) {
                    logError("Content for message with id \"" + id + "\" not found. Error code: " +
                             std::to_string(result.getErrorCode()) + ". Error description: " +
                             result.getErrorDescription().value_or("no description"));
                    nothing();
                    return;
                }
                logInfo("Get content status success");
                logInfo("Content for message with id \"" + id + "\" received from server.");
                auto content = ContentConverter::extraContent(id, result.getContent());
                if (!content) {
                    nothing();
                    return;
                }
                storeContent(*state, id, std::make_shared<ExtraContentImp>(std::move(*content)),
                             postCompleted);
            });
    } catch (const std::exception& error) {
        logError("Content for message with id \"" + id +
                 "\" cannot be downloaded: " + error.what());
        nothing();
    }
}

}  // namespace

void PushSDK::downloadContent(
    const std::optional<std::string>& messageId, std::optional<double> requestTimeout,
    std::function<void(std::optional<ContentDownloadResult>)> postCompleted) {
    download(state_, messageId ? std::optional(repairUtf8(*messageId)) : std::nullopt,
             requestTimeout,
             [postCompleted = std::move(postCompleted)](ContentDownloadResult result) {
                 if (postCompleted) {
                     postCompleted(std::move(result));
                 }
             });
}

void PushSDK::getNotificationContent(
    const std::string& id,
    std::function<void(std::shared_ptr<ExtraContentProtocol>)> postCompleted) {
    const auto messageId = repairUtf8(id);
    const ContentCompletion deliver =
        [postCompleted = std::move(postCompleted)](std::shared_ptr<ExtraContentProtocol> content) {
            if (postCompleted) {
                postCompleted(std::move(content));
            }
        };
    try {
        state_->storageUtil->getNotificationContent(
            messageId, [state = state_, messageId, deliver](
                           const std::string& status, std::shared_ptr<ExtraContentProtocol> content,
                           const std::optional<TextError>&) {
                if (status == "success" && content) {
                    logInfo("Content for message with id \"" + messageId +
                            "\" received from storage.");
                    deliver(std::move(content));
                } else {
                    fetchContent(state, messageId, deliver);
                }
            });
    } catch (const std::exception& error) {
        logError("Content for message with id \"" + messageId +
                 "\" cannot be read from storage: " + error.what());
        fetchContent(state_, messageId, deliver);
    }
}

}  // namespace orvanpush
