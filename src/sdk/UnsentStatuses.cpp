#include "sdk/UnsentStatuses.h"

#include <algorithm>
#include <string>
#include <vector>

#include "sdk/CallbackQueue.h"
#include "sdk/OperationSupport.h"
#include "sdk/PushSDKState.h"
#include "sdk/ReportsInFlight.h"
#include "sdk/StatusReport.h"

namespace orvanpush::detail {
namespace {

// The queued statuses a report can be made of: a message id and a status the server knows.
std::vector<ReportedStatus> reportable(const std::vector<MessageStatusExternal>& rows) {
    std::vector<ReportedStatus> statuses;
    for (const auto& row : rows) {
        const auto messageId = row.messageId();
        const auto statusName = row.statusName();
        if (messageId && !messageId->empty() && statusName &&
            orvanPushApiStatusFromRawValue(*statusName)) {
            statuses.push_back({*messageId, *statusName});
        }
    }
    return statuses;
}

// Ends the lease of a row whose report was not sent, then lets the status go from the reports
// in flight.
void release(const PushSDKState& state, const ReportedStatus& reported) {
    const auto finish = [reported](const std::string&, const std::optional<TextError>&) {
        ReportsInFlight::finish(reported, false);
    };
    try {
        state.storageUtil->markMessageStatusAsUnsent(reported.messageId, reported.statusName,
                                                     finish);
    } catch (const std::exception& error) {
        finish("error", TextError(error.what()));
    }
}

void resend(const std::shared_ptr<PushSDKState>& state, const std::vector<ReportedStatus>& chosen) {
    for (const auto& reported : chosen) {
        try {
            updatePushNotificationStatus(
                state,
                {.messageId = reported.messageId,
                 .status = orvanPushApiStatusFromRawValue(reported.statusName),
                 .kind = ReportKind::resend},
                [](const BaseApiResult&, std::exception_ptr) {});
        } catch (const std::exception&) {
            // No subscriber address: nothing is sent, so the row's lease ends at once and the
            // status stays queued for a later round, of either process.
            release(*state, reported);
        }
    }
}

// The queued rows of `chosen`, for the store to lease.
std::vector<MessageStatusExternal> rowsOf(const std::vector<ReportedStatus>& chosen) {
    std::vector<MessageStatusExternal> rows(chosen.size());
    for (std::size_t i = 0; i < chosen.size(); ++i) {
        rows[i].setMessageId(chosen[i].messageId);
        rows[i].setStatusName(chosen[i].statusName);
    }
    return rows;
}

}  // namespace

void processUnsentStatuses(const std::shared_ptr<PushSDKState>& state, int limit) {
    // Chosen inside the store's transaction that leases their rows, so neither a report of
    // this process nor one of the other process is sent twice at once.
    auto chosen = std::make_shared<std::vector<ReportedStatus>>();
    auto choose = [chosen, limit](std::vector<MessageStatusExternal> free) {
        *chosen =
            ReportsInFlight::claim(reportable(free), static_cast<std::size_t>(std::max(limit, 0)));
        return rowsOf(*chosen);
    };
    try {
        state->storageUtil->leaseMessageStatusesUnsent(
            choose, [state, chosen](const std::string& status, std::vector<MessageStatusExternal>,
                                    const std::optional<TextError>& error) {
                if (status != "success") {
                    for (const auto& reported : *chosen) {
                        ReportsInFlight::finish(reported, false);
                    }
                    logEntry("Error on getting unsent message statuses: " + descriptionOf(error),
                             LogSeverity::error);
                    return;
                }
                logEntry("Process unsent statuses success", LogSeverity::trace);
                if (!chosen->empty()) {
                    // Signing and sending stay off the main queue.
                    postToCallbackQueue([state, chosen] { resend(state, *chosen); });
                }
            });
    } catch (const std::exception& error) {
        logEntry(std::string("Error on getting unsent message statuses: ") + error.what(),
                 LogSeverity::error);
    }
}

}  // namespace orvanpush::detail
