#include "orvanpush/platform/MainQueue.h"

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>

#include <openssl/crypto.h>

#include "orvanpush/platform/DispatchQueue.h"

namespace orvanpush::platform {
namespace {

thread_local bool insideMainTask = false;

// Counts submitted tasks that have not finished, whoever runs them, so the process can wait for
// the main queue to drain before it exits.
struct MainQueueState {
    std::mutex mutex;
    std::condition_variable idle;
    std::size_t pending = 0;
    MainQueue::Executor executor;
    bool exiting = false;  // the library's main thread has ended with the process

    void finished() {
        std::lock_guard lock(mutex);
        if (--pending == 0) {
            idle.notify_all();
        }
    }
};

// Never destroyed: the transport's threads may still post a task while the process exits and
// destroys its statics.
MainQueueState& state() {
    alignas(MainQueueState) static std::byte storage[sizeof(MainQueueState)];
    static MainQueueState* const shared =
        std::construct_at(reinterpret_cast<MainQueueState*>(storage));
    return *shared;
}

// The library's own main thread. At exit it says so before its queue ends, and later tasks are
// dropped: the process is ending and nothing would run them.
struct LibraryMainThread {
    ~LibraryMainThread() {
        std::lock_guard lock(state().mutex);
        state().exiting = true;
    }

    DispatchQueue queue{"orvanpush.main"};
};

DispatchQueue& libraryMainThread() {
    // Main-queue tasks sign requests. The cryptographic library is set up (and its clean-up at
    // exit registered) first, so that at exit this queue's thread ends, and that library frees
    // what it kept for the thread, before the library is torn down and would leave it behind.
    [[maybe_unused]] static const int cryptography =
        OPENSSL_init_crypto(OPENSSL_INIT_LOAD_CONFIG, nullptr);
    static LibraryMainThread thread;
    return thread.queue;
}

}  // namespace

void MainQueue::async(Task task) {
    auto wrapped = [task = std::move(task)] {
        insideMainTask = true;
        try {
            task();
        } catch (...) {
            // A failing task must not stop the tasks behind it.
        }
        insideMainTask = false;
        state().finished();
    };
    auto& main = state();
    std::unique_lock lock(main.mutex);
    if (main.executor) {
        ++main.pending;
        const Executor executor = main.executor;
        lock.unlock();
        executor(std::move(wrapped));
    } else if (!main.exiting) {
        ++main.pending;
        // Posted with the lock held, so the queue cannot end between the check and the post.
        libraryMainThread().async(std::move(wrapped));
    }
}

void MainQueue::installExecutor(Executor executor) {
    auto& main = state();
    std::lock_guard lock(main.mutex);
    main.executor = std::move(executor);
}

bool MainQueue::isCurrent() {
    return insideMainTask;
}

bool MainQueue::waitUntilIdle(std::chrono::milliseconds timeout) {
    auto& main = state();
    std::unique_lock lock(main.mutex);
    return main.idle.wait_for(lock, timeout, [&] { return main.pending == 0; });
}

}  // namespace orvanpush::platform
