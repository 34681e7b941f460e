#pragma once

// The URL session's callback queue, for completions that a main-queue job hands on: a host's
// completion never runs on (and so never holds up) the main queue. A task posted here counts
// as outstanding work until it has run.

#include <functional>

namespace orvanpush::detail {

/// Runs `task` on the callback queue.
void postToCallbackQueue(std::function<void()> task);

}  // namespace orvanpush::detail
