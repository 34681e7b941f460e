#pragma once

// A small pool of threads that runs completions: the URL session's callback queue. Tasks run in
// submission order as threads come free; whatever a task throws is caught and written to the
// system log, so a failing converter or host completion never takes a library thread down. A
// task queued while every thread is busy gets a thread more, up to a limit, so completions that
// wait (for another completion, say) do not hold up the tasks behind them.
//
//   CallbackPool pool("orvanpush.urlsession", 2, 64);
//   pool.post([] { /* runs on one of the pool's threads */ });

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace orvanpush::platform {

class CallbackPool {
  public:
    using Task = std::function<void()>;

    /// Starts `threadCount` threads; busy, it grows to at most `mostThreads`.
    CallbackPool(std::string name, std::size_t threadCount, std::size_t mostThreads);
    /// Shuts the pool down.
    ~CallbackPool();

    CallbackPool(const CallbackPool&) = delete;
    CallbackPool& operator=(const CallbackPool&) = delete;

    /// Queues `task`; a pool that is shutting down drops it.
    void post(Task task);
    /// Queues `task` ahead of every task still waiting; a pool that is shutting down drops it.
    void postFirst(Task task);

    /// Lets the tasks already running finish, drops those still waiting and every later one.
    /// Called from one of the pool's own tasks (a host completion that ends the process), it
    /// leaves that thread to finish its task on its own.
    void shutDown();

    struct State;  // shared with the pool's threads

  private:
    void enqueue(Task task, bool first);

    std::shared_ptr<State> state_;
};

}  // namespace orvanpush::platform
