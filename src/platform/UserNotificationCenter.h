#pragma once

// The host's notification settings, as the system's notification center reports them. The
// host's authorisation source runs on one library thread of its own, never on the main queue or
// the callback pool, so a host whose UI loop is the main queue cannot deadlock a probe:
//
//   UserNotificationCenter::current().getNotificationSettings([](AuthorizationStatus status) {
//       // on the center's thread
//   });

#include <functional>
#include <memory>

#include "orvanpush/platform/PlatformConfig.h"

namespace orvanpush::platform {

class UserNotificationCenter {
  public:
    using Source = std::function<AuthorizationStatus()>;
    using SettingsHandler = std::function<void(AuthorizationStatus)>;

    /// A center that asks `source`. Its thread starts at once and ends after the center is
    /// gone and its last request has been answered; it is never joined, so a source that never
    /// answers ties up that thread alone.
    explicit UserNotificationCenter(Source source);
    ~UserNotificationCenter();
    UserNotificationCenter(const UserNotificationCenter&) = delete;
    UserNotificationCenter& operator=(const UserNotificationCenter&) = delete;

    /// The process's center, asking the source of the platform configuration current at each
    /// request (PlatformConfig::notificationAuthorization).
    static UserNotificationCenter& current();

    /// Asks the source on the center's thread and calls `completionHandler` there with its
    /// answer; notDetermined when the source throws or there is none. Requests are answered one
    /// at a time, in order. What the handler throws is dropped.
    void getNotificationSettings(SettingsHandler completionHandler);

  private:
    struct Worker;
    std::shared_ptr<Worker> worker_;
};

}  // namespace orvanpush::platform
