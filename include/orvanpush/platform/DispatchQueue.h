#pragma once

// A serial queue of tasks run one at a time, in submission order, on a thread the queue owns.
//
//   auto queue = std::make_shared<orvanpush::platform::DispatchQueue>("recorder");
//   queue->async([] { /* runs later on the queue */ });
//   queue->sync([] { /* runs on the queue while the caller waits */ });

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include "orvanpush/Export.h"

namespace orvanpush::platform {

/// Thread-safe: any thread may submit; the tasks themselves run only on the queue's thread.
class ORVANPUSH_EXPORT DispatchQueue {
  public:
    /// A unit of work on the queue.
    using Task = std::function<void()>;

    /// A queue named `label`, its thread started.
    explicit DispatchQueue(std::string label);
    /// Runs every task already submitted, then stops the queue's thread. When the last owner
    /// lets go from inside one of the queue's own tasks, the thread finishes on its own.
    ~DispatchQueue();

    DispatchQueue(const DispatchQueue&) = delete;
    DispatchQueue& operator=(const DispatchQueue&) = delete;

    /// The name it was made with.
    const std::string& label() const { return label_; }

    /// Submits `task` and returns at once. A task that throws is dropped; the queue goes on.
    void async(Task task);
    /// Runs `task` on the queue and waits for it; runs it inline when already on this queue.
    /// An exception thrown by the task reaches the caller.
    void sync(const Task& task);
    /// True when the calling thread is this queue's thread.
    bool isCurrent() const;
    /// Waits until every task submitted before the call has run.
    void waitUntilIdle();

    /// A process-wide queue for background work of no particular owner.
    static DispatchQueue& globalBackground();

  private:
    struct State;

    std::string label_;
    std::shared_ptr<State> state_;
    std::thread thread_;
};

}  // namespace orvanpush::platform
