#pragma once

// Notifications that reach every process of this home: posting the name N touches the file
// notify/N; each process that observes N watches the notify directory (one inotify watch and
// one background thread per process) and calls its observers on the main queue.
//
//   auto registration = CrossProcessNotification::observe("group.example", [weak] {
//       if (auto self = weak.lock()) self->refresh();
//   });
//   CrossProcessNotification::post("group.example");   // in the other process, after a commit
//
// Posts that arrive while a call for the same name is still waiting on the main queue are
// folded into that call; a post that arrives after the call began gets a call of its own, so
// the last post is always followed by a call.

#include <functional>
#include <memory>
#include <string>

namespace orvanpush::platform {

class CrossProcessNotification {
  public:
    /// Keeps one observer registered; the registration ends when the object is destroyed (a
    /// call already waiting on the main queue may still arrive).
    class Registration {
      public:
        virtual ~Registration() = default;
    };

    /// Tells the observers of `name` in every process, this one included. Throws `TextError`
    /// for an unsafe name or when the file cannot be touched.
    static void post(const std::string& name);

    /// Calls `callback` on the main queue after posts of `name` (see above) for as long as the
    /// returned registration lives. The watch is in place when the call returns. The callback
    /// must not own the owner of the registration. Throws `TextError` for an unsafe name or when
    /// the directory cannot be watched.
    [[nodiscard]] static std::unique_ptr<Registration> observe(const std::string& name,
                                                               std::function<void()> callback);
};

}  // namespace orvanpush::platform
