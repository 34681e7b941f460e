#pragma once

// Subscription, token update and unsubscribe of one instance take turns, across both processes
// and within one: each holds the instance's turn (a lock file beside the keychain) from before
// its request is built until its answer is applied, so the stored ids and the device key change
// in the order the operations got their turns, and no answer is applied by an operation other
// than the one holding the turn.
//
//   SubscriptionTurn::take(identifier, timeLimit,
//       [](SubscriptionTurn::Held turn) { ... send; keep `turn` until the answer is applied ... },
//       [](const std::string& reason) { ... complete with an error ... });

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "platform/FileTurn.h"

namespace orvanpush::detail {

class SubscriptionTurn {
  public:
    /// The turn; given back when the last copy is gone.
    using Held = std::shared_ptr<platform::FileTurn>;

    /// The reason given when the turn did not come within the time limit.
    static constexpr const char* busyText =
        "Another subscription operation of this instance is still under way; try again later";

    /// Runs `start` with the instance's turn: at once on this thread when the turn is free (what
    /// `start` or the lock file's failure throws then reaches the caller); otherwise on a thread
    /// of its own, without holding up this one, as soon as the turn comes. Waiting counts as
    /// outstanding work; after `timeLimit` without the turn, or when waiting fails, `gaveUp`
    /// gets the reason instead. Exactly one of the two is called.
    static void take(const std::string& identifier, std::chrono::milliseconds timeLimit,
                     std::function<void(Held)> start,
                     std::function<void(const std::string& reason)> gaveUp);
};

}  // namespace orvanpush::detail
