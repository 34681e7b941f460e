#pragma once

// The process-wide main queue: store work, their completions and change notifications run there,
// one at a time in submission order. By default the library runs it on a thread of its own; a
// host with a UI loop installs an executor that runs each task on that loop:
//
//   orvanpush::platform::MainQueue::installExecutor(
//       [&loop](orvanpush::platform::MainQueue::Task task) { loop.post(std::move(task)); });
//
// Every member is thread-safe. A task that throws is dropped; the tasks behind it still run.

#include <chrono>
#include <functional>
#include "orvanpush/Export.h"

namespace orvanpush::platform {

/// Static members only: there is one main queue per process.
class ORVANPUSH_EXPORT MainQueue {
  public:
    /// A unit of work on the main queue.
    using Task = std::function<void()>;
    /// Receives each task; must run them one at a time, in the order received.
    using Executor = std::function<void(Task)>;

    /// Submits `task` to the main queue.
    static void async(Task task);
    /// Hands every later task to `executor` instead of the library's own thread. Install before
    /// the first task is submitted.
    static void installExecutor(Executor executor);
    /// True when the caller runs inside a main-queue task.
    static bool isCurrent();
    /// Waits until every submitted task has finished or `timeout` passes; true when idle.
    static bool waitUntilIdle(std::chrono::milliseconds timeout);
};

}  // namespace orvanpush::platform
