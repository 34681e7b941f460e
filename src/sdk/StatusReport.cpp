#include "sdk/StatusReport.h"

#include <utility>

#include "api/NotificationsTarget.h"
#include "orvanpush/OrvanPushSDKError.h"
#include "orvanpush/storage/StorageErrors.h"
#include "sdk/CallbackQueue.h"
#include "sdk/KeyReconciliation.h"
#include "sdk/OperationSupport.h"
#include "sdk/PushSDKState.h"
#include "sdk/ReportsInFlight.h"
#include "sdk/UnsentStatuses.h"

namespace orvanpush::detail {
namespace {

constexpr const char* kChannelName = "push";
constexpr const char* kSuccess = "success";

struct SubscriberAddress {
    std::string address;
    bool isSigned;
};

// The settings' address, signed; failing that, the caller's fall-back, unsigned (without one
// the failure is thrown).
SubscriberAddress subscriberAddress(const PushSDKState& state,
                                    const std::optional<std::string>& with) {
    if (!with) {
        logEntry("Getting address without default value");
        return {state.subscriberAddress(), true};
    }
    logEntry("Getting address with default value");
    try {
        auto address = state.subscriberAddress();
        logEntry("Address from settings: " + address);
        return {std::move(address), true};
    } catch (const std::exception&) {
        logEntry("Error getting address from settings");
        return {*with, false};
    }
}

// Told once the store has answered: null when the event was recorded, else why it was not.
using Recorded = std::function<void(std::exception_ptr notRecorded)>;

std::exception_ptr notSaved(const std::string& reason) {
    return std::make_exception_ptr(StorageMessageError::notSaved(reason));
}

std::exception_ptr failureOf(const std::string& status, const std::optional<TextError>& error) {
    return status == kSuccess ? nullptr : notSaved(descriptionOf(error));
}

void recordReceipt(StorageUtil& storage, const StatusReport& report, const Recorded& recorded) {
    logEntry("Set message received");
    auto saved = [id = report.messageId, check = report.duplicateCheck, recorded](
                     const std::string& status, bool stored,
                     const std::optional<TextError>& error) {
        if (check) {
            check(status, !stored, error);
        }
        if (status != kSuccess) {
            logEntry("Error on save message into storage", LogSeverity::trace);
            logEntry("Error on save message with id " + id + " into storage", LogSeverity::error);
        }
        recorded(failureOf(status, error));
    };
    storage.storeReceivedMessage(report.messageId, report.customData, report.title, report.subtitle,
                                 report.body, *report.status, kChannelName, saved);
}

void recordReading(StorageUtil& storage, const StatusReport& report, const Recorded& recorded) {
    logEntry("Set message read");
    storage.setMessageRead(report.messageId, [id = report.messageId, recorded](
                                                 const std::string& status,
                                                 const std::optional<TextError>& error) {
        if (status != kSuccess) {
            logEntry("Error on setting message status to read into storage for message",
                     LogSeverity::trace);
            logEntry(
                "Error on setting message status to read into storage for message with id " + id,
                LogSeverity::error);
        }
        recorded(failureOf(status, error));
    });
}

// Stores the received message or sets it read, then calls `recorded` with the store's answer
// (on the main queue). A store that cannot be opened is logged and answers at once.
void record(const PushSDKState& state, const StatusReport& report, const std::string& statusName,
            const Recorded& recorded) {
    try {
        if (*report.status == OrvanPushApiStatus::delivered) {
            recordReceipt(*state.storageUtil, report, recorded);
        } else {
            recordReading(*state.storageUtil, report, recorded);
        }
    } catch (const std::exception& error) {
        logEntry(std::string("Storage error: ") + error.what(), LogSeverity::trace);
        logEntry("Storage error (" + statusName + "): " + error.what(), LogSeverity::error);
        recorded(notSaved(error.what()));
    }
}

// The signature of `text` with the device key; empty when there is none to sign with.
std::string signature(const PushSDKState& state, const std::string& text) {
    logEntry("Getting sign...");
    try {
        return state.sign(text);
    } catch (const std::exception& error) {
        logEntry(std::string("Error on getting sign: ") + error.what(), LogSeverity::error);
        return "";
    }
}

// Informational only: the report is sent whatever the connection.
void logNetworkAvailability(const PushSDKState& state) {
    logEntry("Network available: " +
             (state.reachability ? toString(state.reachability->connection()) : "unknown"));
}

// Marks the report's row sent or unsent. The report leaves the reports in flight in the
// main-queue job that writes the flag; then its completion runs on the callback queue, so an
// extension that ends its process on the completion has nothing of the report left queued.
void mark(const PushSDKState& state, const ReportedStatus& reported, bool sent,
          BaseApiResult result, std::exception_ptr notRecorded, ReportCompletion postCompleted) {
    const std::string failure =
        sent ? "Error on save sent status to storage" : "Error on save unsent status to storage";
    auto marked = [reported, sent, failure, result, notRecorded,
                   postCompleted = std::move(postCompleted)](
                      const std::string& status, const std::optional<TextError>& error) {
        ReportsInFlight::finish(reported, sent && status == kSuccess);
        if (status != kSuccess) {
            logEntry(failure + ": " + descriptionOf(error), LogSeverity::trace);
            logEntry(failure + " (" + reported.messageId + "): " + descriptionOf(error),
                     LogSeverity::error);
        }
        postToCallbackQueue(
            [result, notRecorded, postCompleted] { postCompleted(result, notRecorded); });
    };
    try {
        if (sent) {
            state.storageUtil->markMessageStatusAsSent(reported.messageId, reported.statusName,
                                                       marked);
        } else {
            state.storageUtil->markMessageStatusAsUnsent(reported.messageId, reported.statusName,
                                                         marked);
        }
    } catch (const std::exception& error) {
        marked("error", TextError(error.what()));
    }
}

struct Answered {
    std::shared_ptr<PushSDKState> state;
    ReportedStatus reported;
    ReportKind kind;
    int limit;
    std::exception_ptr notRecorded;
    ReportCompletion postCompleted;
};

void handleAnswer(const Answered& report, const BaseApiResult& result) {
    const bool silent = report.kind == ReportKind::silent;
    if (result.getResultKind() == ResultKind::error) {
        logEntry("Error on update push notification status process: " + errorDetails(result),
                 LogSeverity::error);
        if (silent) {
            report.postCompleted(result, nullptr);
        } else {
            mark(*report.state, report.reported, false, result, report.notRecorded,
                 report.postCompleted);
        }
        return;
    }
    logEntry("Update push notification status process successfully completed");
    // Marked before the queue is read, so a report never re-sends its own status.
    if (!silent) {
        mark(*report.state, report.reported, true, result, report.notRecorded,
             report.postCompleted);
    }
    if (report.limit > 0) {
        processUnsentStatuses(report.state, report.limit);
    }
    if (silent) {
        report.postCompleted(result, nullptr);
    }
}

}  // namespace

void updatePushNotificationStatus(const std::shared_ptr<PushSDKState>& state, StatusReport report,
                                  ReportCompletion postCompleted) {
    logEntry("Start update notification status process");
    const auto [address, isSigned] = subscriberAddress(*state, report.with);
    const auto messageId = PushSDKState::checkMandatoryParameter(report.messageId, "messageId");
    if (!report.status) {
        throw OrvanPushSDKError::invalidParameter("status");
    }
    const ReportedStatus reported{messageId, toString(*report.status)};
    logEntry("Parameters: address - \"" + address + "\", messageId - \"" + messageId +
             "\", status - \"" + reported.statusName + "\"");
    const std::string signedText = isSigned ? address + messageId + reported.statusName : "";
    auto signatureText = isSigned ? signature(*state, signedText) : "";
    auto headers = state->getHeaders(toString(ApiMethods::notifications), report.pushEnabled);
    NotificationsTarget target{{.headers = std::move(headers),
                                .retryCount = kRetryCount,
                                .address = address,
                                .messageId = messageId,
                                .status = reported.statusName,
                                .signature = std::move(signatureText)}};
    logNetworkAvailability(*state);
    auto send = [target = std::move(target), signedText,
                 answered = Answered{state, reported, report.kind, report.limit, nullptr,
                                     std::move(postCompleted)}](std::exception_ptr notRecorded) {
        logEntry("Start request (" + answered.reported.messageId + ")", LogSeverity::trace);
        auto answer = answered;
        answer.notRecorded = std::move(notRecorded);
        sendSigned<NotificationsTarget>(
            answered.state, target, signedText,
            [answer = std::move(answer)](BaseApiResult result) { handleAnswer(answer, result); });
    };
    if (report.kind != ReportKind::event) {
        send(nullptr);
        return;
    }
    // In flight before its row is written, so no re-send round of this process takes it.
    ReportsInFlight::add(reported);
    record(*state, report, reported.statusName, send);
}

}  // namespace orvanpush::detail
