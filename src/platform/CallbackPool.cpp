#include "platform/CallbackPool.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/SystemLog.h"

namespace orvanpush::platform {

struct CallbackPool::State : std::enable_shared_from_this<CallbackPool::State> {
    std::string name;
    std::size_t mostThreads = 0;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Task> tasks;            // guarded by mutex
    std::vector<std::thread> threads;  // guarded by mutex
    std::size_t idle = 0;              // threads waiting for a task; guarded by mutex
    bool stopping = false;             // guarded by mutex

    void addThread();
};

namespace {

void runCaught(const std::string& poolName, CallbackPool::Task& task) {
    try {
        task();
    } catch (const std::exception& error) {
        SystemLog(poolName).write(SystemLogPriority::error,
                                  std::string("A completion threw: ") + error.what());
    } catch (...) {
        SystemLog(poolName).write(SystemLogPriority::error, "A completion threw");
    }
}

void serve(const std::shared_ptr<CallbackPool::State>& state) {
    std::unique_lock lock(state->mutex);
    for (;;) {
        ++state->idle;
        state->wake.wait(lock, [&] { return state->stopping || !state->tasks.empty(); });
        --state->idle;
        if (state->stopping) {
            return;
        }
        CallbackPool::Task task = std::move(state->tasks.front());
        state->tasks.pop_front();
        lock.unlock();
        runCaught(state->name, task);
        // The task, and what it holds, is gone before the thread waits for the next one.
        task = nullptr;
        lock.lock();
    }
}

}  // namespace

// Called with the mutex held. Without a thread more, the task waits for one of those running.
void CallbackPool::State::addThread() {
    try {
        threads.emplace_back([state = shared_from_this()] { serve(state); });
    } catch (const std::system_error& error) {
        SystemLog(name).write(SystemLogPriority::error,
                              std::string("No thread more for completions: ") + error.what());
    }
}

CallbackPool::CallbackPool(std::string name, std::size_t threadCount, std::size_t mostThreads)
    : state_(std::make_shared<State>()) {
    state_->name = std::move(name);
    state_->mostThreads = std::max(threadCount, mostThreads);
    std::lock_guard lock(state_->mutex);
    for (std::size_t i = 0; i < threadCount; ++i) {
        state_->addThread();
    }
}

CallbackPool::~CallbackPool() {
    shutDown();
}

void CallbackPool::shutDown() {
    std::deque<Task> dropped;
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
        dropped.swap(state_->tasks);
        threads.swap(state_->threads);
        state_->wake.notify_all();
    }
    for (auto& thread : threads) {
        if (thread.get_id() == std::this_thread::get_id()) {
            thread.detach();
        } else {
            thread.join();
        }
    }
}

void CallbackPool::post(Task task) {
    enqueue(std::move(task), false);
}

void CallbackPool::postFirst(Task task) {
    enqueue(std::move(task), true);
}

void CallbackPool::enqueue(Task task, bool first) {
    // Held here: once the task is queued, it may run and end the pool before this returns.
    const auto state = state_;
    {
        std::lock_guard lock(state->mutex);
        if (state->stopping) {
            return;
        }
        if (first) {
            state->tasks.push_front(std::move(task));
        } else {
            state->tasks.push_back(std::move(task));
        }
        if (state->tasks.size() > state->idle && state->threads.size() < state->mostThreads) {
            state->addThread();
        }
    }
    // Outside the lock, so the woken thread does not wake only to wait for it.
    state->wake.notify_one();
}

}  // namespace orvanpush::platform
