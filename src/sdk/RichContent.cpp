// Rich content of a message: downloaded from the push server, and kept in the store once it
// has been fetched.

#include <utility>

#include "api/ContentDownloadTarget.h"
#include "api/ResultDecoding.h"
#include "orvanpush/PushSDK.h"
#include "orvanpush/platform/MainQueue.h"
#include "platform/OutstandingWork.h"
#include "sdk/CallbackQueue.h"
#include "sdk/KeyReconciliation.h"
#include "sdk/OperationSupport.h"
#include "sdk/PushSDKState.h"
#include "sdk/UnsentStatuses.h"
#include "text/Utf8Text.h"
#include "utils/ContentConverter.h"

namespace orvanpush {

using namespace detail;

namespace {

using ContentCompletion = PushSDK::ContentCompletion;

// The failure of an answer that does not decode as content.
constexpr const char* kNotContentText =
    "The answer is not content: a JSON object whose \"contentType\" and \"content\" are text";

void download(const std::shared_ptr<PushSDKState>& state,
              const std::optional<std::string>& messageId, std::optional<double> requestTimeout,
              std::function<void(ContentDownloadResult)> postCompleted) {
    logEntry("Start download content process");
    const auto address = state->subscriberAddress();
    const auto id = PushSDKState::checkMandatoryParameter(messageId, "messageId");
    logEntry("Parameters: address - \"" + address + "\", messageId - " + id);
    const auto signedText = address + id;
    auto signature = state->sign(signedText);
    ContentDownloadTarget target{
        {.headers = state->getHeaders(toString(ApiMethods::downloadContent)),
         .retryCount = kRetryCount,
         .requestTimeout = requestTimeout,
         .address = address,
         .messageId = id,
         .signature = std::move(signature)}};
    sendSigned<ContentDownloadTarget>(
        state, target, signedText,
        [state, postCompleted = std::move(postCompleted)](ContentDownloadResult result) {
            if (result.getResultKind() == ResultKind::error) {
                logEntry("Error on download content process: " + errorDetails(result),
                         LogSeverity::error);
            } else {
                logEntry("Download content process successfully completed");
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
        logEntry("Error on saving content for message with id \"" + id + "\": " + description,
                 LogSeverity::error);
    };
    try {
        state.storageUtil->saveNotificationContent(
            *content, [failed, content, postCompleted](const std::string& status,
                                                       const std::optional<TextError>& error) {
                if (status != "success") {
                    failed(descriptionOf(error));
                }
                postCompleted(content, std::nullopt, nullptr);
            });
    } catch (const std::exception& error) {
        failed(error.what());
        onMainQueue([content, postCompleted] { postCompleted(content, std::nullopt, nullptr); });
    }
}

// Downloads the content of `id`, stores it and hands it on; none, with what went wrong, when
// that fails. Only content with a value is kept: an answer that does not decode as content, or
// holds none, is never stored, so a later request may still bring the content.
void fetchContent(const std::shared_ptr<PushSDKState>& state, const std::string& id,
                  const ContentCompletion& postCompleted) {
    const auto none = [postCompleted](std::optional<BaseApiResult> failure,
                                      std::exception_ptr error) {
        onMainQueue([postCompleted, failure = std::move(failure), error] {
            postCompleted(nullptr, failure, error);
        });
    };
    try {
        download(
            state, id, std::nullopt,
            [state, id, postCompleted, none](const ContentDownloadResult& result) {
                if (result.getResultKind() == ResultKind::error) {
                    logEntry("Content for message with id \"" + id + "\" not found. Error code: " +
                                 errorDetails(result, ". Error description: "),
                             LogSeverity::error);
                    none(BaseApiResult(result), nullptr);
                    return;
                }
                logEntry("Get content status success");
                logEntry("Content for message with id \"" + id + "\" received from server.");
                auto content = ContentConverter::extraContent(id, result.getContent());
                if (!content) {
                    logEntry("Content for message with id \"" + id +
                                 "\" cannot be used: " + kNotContentText,
                             LogSeverity::error);
                    none(BaseApiResult(ResultKind::error, kLibraryErrorCode, kNotContentText),
                         nullptr);
                    return;
                }
                if (!content->value()) {
                    none(std::nullopt, nullptr);
                    return;
                }
                storeContent(*state, id, std::make_shared<ExtraContentImp>(std::move(*content)),
                             postCompleted);
            });
    } catch (const std::exception& error) {
        logEntry("Content for message with id \"" + id + "\" cannot be downloaded: " + error.what(),
                 LogSeverity::error);
        none(std::nullopt, std::current_exception());
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
    getNotificationContent(id, [postCompleted = std::move(postCompleted)](
                                   std::shared_ptr<ExtraContentProtocol> content,
                                   std::optional<BaseApiResult>, std::exception_ptr) {
        if (postCompleted) {
            postCompleted(std::move(content));
        }
    });
}

void PushSDK::getNotificationContent(const std::string& id, ContentCompletion postCompleted) {
    const auto messageId = repairUtf8(id);
    const ContentCompletion deliver = [postCompleted = std::move(postCompleted)](
                                          std::shared_ptr<ExtraContentProtocol> content,
                                          std::optional<BaseApiResult> failure,
                                          std::exception_ptr error) {
        if (postCompleted) {
            postCompleted(std::move(content), std::move(failure), std::move(error));
        }
    };
    try {
        state_->storageUtil->getNotificationContent(
            messageId, [state = state_, messageId, deliver](
                           const std::string& status, std::shared_ptr<ExtraContentProtocol> content,
                           const std::optional<TextError>&) {
                if (status == "success" && content) {
                    logEntry("Content for message with id \"" + messageId +
                             "\" received from storage.");
                    deliver(std::move(content), std::nullopt, nullptr);
                } else {
                    // The download signs and sends: not on the main queue.
                    postToCallbackQueue(
                        [state, messageId, deliver] { fetchContent(state, messageId, deliver); });
                }
            });
    } catch (const std::exception& error) {
        logEntry("Content for message with id \"" + messageId +
                     "\" cannot be read from storage: " + error.what(),
                 LogSeverity::error);
        fetchContent(state_, messageId, deliver);
    }
}

}  // namespace orvanpush
