#include "orvanpush/platform/DispatchQueue.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>

namespace orvanpush::platform {

// Shared between the queue object and its thread, so the thread can finish safely even when the
// queue object is destroyed by one of its own tasks.
struct DispatchQueue::State {
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<Task> tasks;
    bool running = false;
    bool stopping = false;

    void run() {
        std::unique_lock lock(mutex);
        while (true) {
            wake.wait(lock, [this] { return stopping || !tasks.empty(); });
            if (tasks.empty()) {
                return;  // stopping, and every submitted task has run
            }
            Task task = std::move(tasks.front());
            tasks.pop_front();
            running = true;
            lock.unlock();
            try {
                task();
            } catch (...) {
                // A failing task must not take the queue down with it.
            }
            task = nullptr;
            lock.lock();
            running = false;
            if (tasks.empty()) {
                idle.notify_all();
            }
        }
    }
};

DispatchQueue::DispatchQueue(std::string label)
    : label_(std::move(label)),
      state_(std::make_shared<State>()),
      thread_([state = state_] { state->run(); }) {}

DispatchQueue::~DispatchQueue() {
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
    }
    state_->wake.notify_one();
    if (isCurrent()) {
        thread_.detach();
    } else {
        thread_.join();
    }
}

void DispatchQueue::async(Task task) {
    // Notify under the lock: once it is released the task may run and even destroy this queue,
    // so nothing of `this` is touched afterwards.
    std::lock_guard lock(state_->mutex);
    state_->tasks.push_back(std::move(task));
    state_->wake.notify_one();
}

void DispatchQueue::sync(const Task& task) {
    if (isCurrent()) {
        task();
        return;
    }
    std::mutex doneMutex;
    std::condition_variable doneCondition;
    bool done = false;
    std::exception_ptr failure;
    async([&] {
        try {
            task();
        } catch (...) {
            failure = std::current_exception();
        }
        std::lock_guard lock(doneMutex);
        done = true;
        doneCondition.notify_one();
    });
    std::unique_lock lock(doneMutex);
    doneCondition.wait(lock, [&] { return done; });
    if (failure) {
        std::rethrow_exception(failure);
    }
}

bool DispatchQueue::isCurrent() const {
    return thread_.get_id() == std::this_thread::get_id();
}

void DispatchQueue::waitUntilIdle() {
    if (isCurrent()) {
        return;
    }
    std::unique_lock lock(state_->mutex);
    state_->idle.wait(lock, [this] { return state_->tasks.empty() && !state_->running; });
}

DispatchQueue& DispatchQueue::globalBackground() {
    static DispatchQueue queue("orvanpush.global.background");
    return queue;
}

}  // namespace orvanpush::platform
