#include "platform/OutstandingWork.h"

#include <condition_variable>
#include <mutex>

namespace orvanpush::platform {
namespace {

struct Counter {
    std::mutex mutex;
    std::condition_variable idle;
    std::size_t count = 0;
};

// Tokens hold the counter, so a token destroyed during static destruction (a task still queued
// when the process exits) finds it alive.
const std::shared_ptr<Counter>& counter() {
    static const auto shared = std::make_shared<Counter>();
    return shared;
}

}  // namespace

OutstandingWork::Token OutstandingWork::begin() {
    auto shared = counter();
    {
        std::lock_guard lock(shared->mutex);
        ++shared->count;
    }
    return Token(std::shared_ptr<void>(nullptr, [shared](void*) {
        std::lock_guard lock(shared->mutex);
        if (--shared->count == 0) {
            shared->idle.notify_all();
        }
    }));
}

bool OutstandingWork::waitUntilDone(std::chrono::milliseconds timeout) {
    const auto& shared = counter();
    std::unique_lock lock(shared->mutex);
    return shared->idle.wait_for(lock, timeout, [&] { return shared->count == 0; });
}

std::size_t OutstandingWork::count() {
    const auto& shared = counter();
    std::lock_guard lock(shared->mutex);
    return shared->count;
}

}  // namespace orvanpush::platform
