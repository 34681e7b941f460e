#include "orvanpush/platform/MainQueue.h"

#include <condition_variable>
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

    void finished() {
        std::lock_guard lock(mutex);
        if (--pending == 0) {
            idle.notify_all();
        }
    }
};

MainQueueState& state() {
    static MainQueueState instance;
    return instance;
}

DispatchQueue& libraryMainThread() {
    // Main-queue tasks sign requests. The cryptographic library is set up (and its clean-up at
    // exit registered) first, so that at exit this queue's thread ends, and that library frees
    // what it kept for the thread, before the library is torn down and would leave it behind.
    [[maybe_unused]] static const int cryptography =
        OPENSSL_init_crypto(OPENSSL_INIT_LOAD_CONFIG, nullptr);
    static DispatchQueue queue("orvanpush.main");
    return queue;
}

}  // namespace

void MainQueue::async(Task task) {
    auto& main = state();
    Executor executor;
    {
        std::lock_guard lock(main.mutex);
        ++main.pending;
        executor = main.executor;
    }
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
    if (executor) {
        executor(std::move(wrapped));
    } else {
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
