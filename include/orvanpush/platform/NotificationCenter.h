#pragma once

// A process-local notification center: a poster names a notification and hands an object
// along; every observer of that name is called on the posting thread.
//
//   auto observation = NotificationCenter::defaultCenter()->addObserver(
//       "reachabilityChanged", [](const Notification& notification) {
//           auto reachability = std::any_cast<std::shared_ptr<Reachability>>(notification.object);
//       });
//   // ... the observer is called until `observation` is destroyed

#include <any>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include "orvanpush/Export.h"

namespace orvanpush::platform {

/// One post: the notification's name and what came with it.
struct ORVANPUSH_EXPORT Notification {
    /// The name observers registered for.
    std::string name;
    /// What the poster handed along (empty when nothing).
    std::any object;
};

/// Thread-safe: observers may be added, removed and called from any threads at once.
class ORVANPUSH_EXPORT NotificationCenter {
  public:
    /// Called with each post of the observed name, on the posting thread.
    using Observer = std::function<void(const Notification&)>;

    /// Keeps an observer registered while it lives. Destroying it (or cancel()) removes the
    /// observer; when a call of it is under way on another thread, removal waits for that call,
    /// so nothing runs once it returns. An observer may remove itself while it runs.
    class ORVANPUSH_EXPORT Observation {
      public:
        /// An empty observation (observes nothing); movable, not copyable.
        Observation() = default;
        ~Observation() { cancel(); }
        Observation(Observation&& other) noexcept;
        Observation& operator=(Observation&& other) noexcept;
        Observation(const Observation&) = delete;
        Observation& operator=(const Observation&) = delete;

        /// Removes the observer now, waiting for a call under way on another thread; then empty.
        void cancel();

      private:
        friend class NotificationCenter;
        struct Registry;
        struct Entry;
        Observation(std::weak_ptr<Registry> registry, std::shared_ptr<Entry> entry);

        std::weak_ptr<Registry> registry_;
        std::shared_ptr<Entry> entry_;
    };

    /// An independent center with no observers; hosts normally use `defaultCenter`.
    NotificationCenter();
    ~NotificationCenter();
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    /// The process's center.
    static std::shared_ptr<NotificationCenter> defaultCenter();

    /// Calls `observer` for every later post of `name`, until the observation ends.
    [[nodiscard]] Observation addObserver(std::string name, Observer observer);

    /// Calls every observer of `name` with the notification, one after the other, on this
    /// thread; what an observer throws is dropped.
    void post(const std::string& name, std::any object = {}) const;

  private:
    std::shared_ptr<Observation::Registry> registry_;
};

}  // namespace orvanpush::platform
