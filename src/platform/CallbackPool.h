#pragma once

// A small pool of threads that runs completions: the URL session's callback queue. Tasks run in
// submission order as threads come free; whatever a task throws is caught and written to the
// system log, so a failing converter or host completion never takes a library thread down.
//
//   CallbackPool pool("orvanpush.urlsession", 2);
//   pool.post([] { /* runs on one of the pool's threads */ });

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace orvanpush::platform {

class CallbackPool {
  public:
    using Task = std::function<void()>;

    CallbackPool(std::string name, std::size_t threadCount);
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
    std::vector<std::thread> threads_;
};

}  // namespace orvanpush::platform
