#pragma once

// A serial queue of tasks run one at a time, in submission order, on a thread the queue owns.
//
//   auto queue = std::make_shared<orvanpush::platform::DispatchQueue>("recorder");
//   queue->async([] { /* runs later on the queue */ });
//   queue->sync([] { /* runs on the queue while the caller waits */ });

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace orvanpush::platform {

class DispatchQueue {
public:
    using Task = std::function<void()>;

    explicit DispatchQueue(std::string label);
    /// Runs every task already submitted, then stops the queue's thread.
    ~DispatchQueue();

    DispatchQueue(const DispatchQueue&) = delete;
    DispatchQueue& operator=(const DispatchQueue&) = delete;

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
    void run();

    std::string label_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<Task> tasks_;
    bool running_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace orvanpush::platform
