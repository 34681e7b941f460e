#include "platform/CallbackPool.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <utility>

#include "platform/SystemLog.h"

namespace orvanpush::platform {

struct CallbackPool::State {
    std::string name;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Task> tasks;
    bool stopping = false;
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
    for (;;) {
        CallbackPool::Task task;
        {
            std::unique_lock lock(state->mutex);
            state->wake.wait(lock, [&] { return state->stopping || !state->tasks.empty(); });
            if (state->stopping) {
                return;
            }
            task = std::move(state->tasks.front());
            state->tasks.pop_front();
        }
        // The task, and what it holds, is gone before the thread waits for the next one.
        runCaught(state->name, task);
    }
}

}  // namespace

CallbackPool::CallbackPool(std::string name, std::size_t threadCount)
    : state_(std::make_shared<State>()) {
    state_->name = std::move(name);
    threads_.reserve(threadCount);
    for (std::size_t i = 0; i < threadCount; ++i) {
        threads_.emplace_back([state = state_] { serve(state); });
    }
}

CallbackPool::~CallbackPool() {
    shutDown();
}

void CallbackPool::shutDown() {
    std::deque<Task> dropped;
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
        dropped.swap(state_->tasks);
        state_->wake.notify_all();
    }
    for (auto& thread : threads_) {
        if (thread.get_id() == std::this_thread::get_id()) {
            thread.detach();
        } else {
            thread.join();
        }
    }
    threads_.clear();
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
    }
    // Outside the lock, so the woken thread does not wake only to wait for it.
    state->wake.notify_one();
}

}  // namespace orvanpush::platform
