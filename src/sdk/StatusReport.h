#pragma once

// Delivery status reports: each "Delivered" and "Read" of a message is reported to the push
// server with one "notifications" request. A report records the event in the store, marks its
// status row sent or unsent by the server's answer, and after a success re-sends queued
// unsent statuses in rounds (each successful re-send starts a round of its own):
//
//   updatePushNotificationStatus(state, {.messageId = "42", .status = OrvanPushApiStatus::read},
//                                [](BaseApiResult result) { ... });
//
// A new event is recorded first: the request goes out once the store has answered, so a
// report the server took always has its row (sent, or still queued when the process ended
// before the answer). A report's completion runs on the callback queue, after the job that
// marked its row has run on the main queue; the re-sends it started are outstanding work.

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "orvanpush/BaseApiResult.h"
#include "orvanpush/OrvanPushApiStatus.h"
#include "orvanpush/TextError.h"
#include "orvanpush/Types.h"

namespace orvanpush::detail {

struct PushSDKState;

/// What a report does with the store besides sending.
enum class ReportKind {
    /// A new event: records it (stores the received message, or sets it read), marks the row.
    event,
    /// A silent (background) message: neither records nor marks anything.
    silent,
    /// A queued status sent again: marks its row only (a deleted message stays deleted). The
    /// round that chose it has already put it in flight.
    resend,
};

struct StatusReport {
    std::string messageId;
    /// Texts stored with a received message.
    std::optional<std::string> title{};
    std::optional<std::string> subtitle{};
    std::optional<std::string> body{};
    std::optional<OrvanPushApiStatus> status{};
    /// The payload's "custom-data", stored with a received message.
    std::optional<Json> customData{};
    /// The address to send when the settings give none; such a report is not signed.
    std::optional<std::string> with{};
    /// How many queued statuses a success may re-send.
    int limit = 5;
    /// Sent as the "push-enabled" header.
    bool pushEnabled = true;
    ReportKind kind = ReportKind::event;
    /// For a receipt that stores its message: told on the main queue whether the message was
    /// stored already ("success"), or that the store failed ("error"), by the transaction that
    /// stores it, so of two processes receiving one push exactly one finds it new.
    std::function<void(const std::string& status, bool exists,
                       const std::optional<TextError>& error)>
        duplicateCheck{};
};

/// The server's answer (a transport failure is a code-600 result), and the failure to record
/// the event in the store: a StorageMessageError notSaved with the store's text, null when it
/// was recorded or the report records nothing.
using ReportCompletion = std::function<void(BaseApiResult result, std::exception_ptr notRecorded)>;

/// Records and sends `report` and calls `postCompleted` exactly once; the report is sent
/// whether or not its event could be recorded. Throws OrvanPushSDKError before anything is
/// sent or stored:
/// emptyMandatoryParameter "address" (no client id and no fall-back), "messageId" (an empty
/// id), invalidParameter "status" (no status).
void updatePushNotificationStatus(const std::shared_ptr<PushSDKState>& state, StatusReport report,
                                  ReportCompletion postCompleted);

}  // namespace orvanpush::detail
