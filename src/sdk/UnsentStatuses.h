#pragma once

// The re-sending of status reports that did not reach the server. Subscription, subscriber
// queries and successful reports start it after a success of their own.

#include <memory>

namespace orvanpush::detail {

struct PushSDKState;

/// Starts re-sending up to `limit` of the instance's queued unsent status reports and returns
/// at once. Its failures are logged, never handed to the caller. Starting it again while a run
/// is under way is harmless.
void processUnsentStatuses(const std::shared_ptr<PushSDKState>& state, int limit);

}  // namespace orvanpush::detail
