#pragma once

// The re-sending of status reports that did not reach the server. Subscription, subscriber
// queries, content downloads and successful reports start it after a success of their own;
// each re-send that succeeds starts it again, so the queue drains in rounds.

#include <memory>

namespace orvanpush::detail {

struct PushSDKState;

/// How many queued reports an operation re-sends after a success of its own.
inline constexpr int kResendLimit = 5;

/// Starts re-sending up to `limit` of the queued unsent status reports and returns at once: the
/// store's unsent rows are read on the main queue, and the reports are signed and sent from the
/// callback queue. Rows without message id or with a status the server does not know, and
/// statuses this process has in flight, are left out without counting against the limit; the
/// statuses attempted least recently go first. A re-send only reports and marks its row. Its
/// failures are logged, never handed to the caller; starting it again while a run is under way
/// is harmless.
void processUnsentStatuses(const std::shared_ptr<PushSDKState>& state, int limit);

}  // namespace orvanpush::detail
