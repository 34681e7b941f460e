#pragma once

// The change notification between the application and its extension, named by the group id:
// the extension posts after each commit, the application observes.

#include <functional>
#include <memory>
#include <string>

#include "platform/CrossProcessNotification.h"

namespace orvanpush::detail {

class DarwinNotificationCenter {
  public:
    using Registration = platform::CrossProcessNotification::Registration;

    /// Calls `callback` on the main queue after posts of `name` (coalesced; the last post is
    /// always followed by a call) while the registration lives; one watch serves every name of
    /// the process. Throws TextError when the name or the watch is refused.
    [[nodiscard]] static std::unique_ptr<Registration> addObserver(const std::string& name,
                                                                   std::function<void()> callback) {
        return platform::CrossProcessNotification::observe(name, std::move(callback));
    }

    /// Posts `name` to every observing process. Throws TextError when it cannot be posted.
    static void post(const std::string& name) { platform::CrossProcessNotification::post(name); }
};

}  // namespace orvanpush::detail
