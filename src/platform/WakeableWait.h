#pragma once

// The wait of a watching thread that its owner must be able to stop at any moment: it sleeps
// until a descriptor has input or another thread wakes it.
//
//   while (wait.untilReadable(socket.get())) {
//       readEverything(socket);
//   }
//   // elsewhere, before joining the thread: wait.wake();

#include "platform/FileDescriptor.h"

namespace orvanpush::platform {

class WakeableWait {
  public:
    /// A wait with its own wake-up descriptor; `valid()` is false (errno set) when none could
    /// be made.
    WakeableWait();

    bool valid() const { return wake_.valid(); }

    /// Blocks until `descriptor` has input (true), or until `wake()` was called or waiting
    /// failed (false). Once woken, every later wait returns false at once.
    bool untilReadable(int descriptor) const;

    /// Ends the wait in progress and every later one; safe from any thread.
    void wake() const;

  private:
    FileDescriptor wake_;
};

}  // namespace orvanpush::platform
