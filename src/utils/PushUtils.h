#pragma once

// Whether the user lets the application show notifications, as the "push-enabled" entry of a
// request reports it:
//
//   headers["push-enabled"] = PushUtils::isPushEnabled() ? "true" : "false";

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>

#include "orvanpush/platform/PlatformConfig.h"

namespace orvanpush::platform {
class UserNotificationCenter;
}

namespace orvanpush::detail {

/// The answer of one probe: set by the notification center's thread, read by the waiting one.
/// Each probe has its own, so an answer that comes late touches nothing of a later probe.
class AuthorizationAnswer {
  public:
    void set(platform::AuthorizationStatus status);
    /// The answer once it is set, or nothing when `timeout` passes first.
    std::optional<platform::AuthorizationStatus> waitFor(std::chrono::milliseconds timeout);

  private:
    std::mutex mutex_;
    std::condition_variable answered_;
    std::optional<platform::AuthorizationStatus> status_;
};

class PushUtils {
  public:
    /// How long a probe waits for the notification center.
    static constexpr std::chrono::seconds kAnswerTimeout{5};

    /// Waits for a probe's answer at most the given time; what the answer holds then.
    using AnswerWait = std::function<std::optional<platform::AuthorizationStatus>(
        AuthorizationAnswer&, std::chrono::milliseconds)>;

    /// True when the user allows the application's notifications: authorized or provisional.
    /// Asks the process's notification center and blocks the caller until it answers, at most
    /// 5 seconds (false when no answer came). Never call it on a thread that a host's
    /// authorisation source waits for.
    static bool isPushEnabled();

    /// The same probe of `center`, waiting with `wait` (for tests).
    static bool isPushEnabled(platform::UserNotificationCenter& center, const AnswerWait& wait);
};

}  // namespace orvanpush::detail
