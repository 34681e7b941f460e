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
    /// Lets the tasks already running finish and drops those still waiting. Called from one of
    /// the pool's own tasks (a host completion that ends the process), it leaves that thread to
    /// finish its task on its own.
    ~CallbackPool();

    CallbackPool(const CallbackPool&) = delete;
    CallbackPool& operator=(const CallbackPool&) = delete;

    /// Queues `task`; a pool that is shutting down drops it.
    void post(Task task);

    struct State;  // shared with the pool's threads

  private:
    std::shared_ptr<State> state_;
    std::vector<std::thread> threads_;
};

}  // namespace orvanpush::platform
