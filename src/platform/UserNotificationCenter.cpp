#include "platform/UserNotificationCenter.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

namespace orvanpush::platform {

// Shared by the center and its detached thread, which may outlive the center.
struct UserNotificationCenter::Worker {
    Source source;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<SettingsHandler> requests;
    bool stopping = false;

    explicit Worker(Source source) : source(std::move(source)) {}

    void run() {
        std::unique_lock lock(mutex);
        while (true) {
            wake.wait(lock, [this] { return stopping || !requests.empty(); });
            if (requests.empty()) {
                return;
            }
            SettingsHandler handler = std::move(requests.front());
            requests.pop_front();
            lock.unlock();
            answer(handler);
            handler = nullptr;
            lock.lock();
        }
    }

    void answer(const SettingsHandler& handler) const {
        AuthorizationStatus status = AuthorizationStatus::notDetermined;
        try {
            if (source) {
                status = source();
            }
        } catch (...) {
            // A failing source reports what the system reports before the user was asked.
        }
        try {
            handler(status);
        } catch (...) {
            // Nothing thrown leaves the center's thread.
        }
    }
};

UserNotificationCenter::UserNotificationCenter(Source source)
    : worker_(std::make_shared<Worker>(std::move(source))) {
    std::thread([worker = worker_] { worker->run(); }).detach();
}

UserNotificationCenter::~UserNotificationCenter() {
    std::lock_guard lock(worker_->mutex);
    worker_->stopping = true;
    worker_->wake.notify_one();
}

UserNotificationCenter& UserNotificationCenter::current() {
    static UserNotificationCenter center([] {
        const auto config = PlatformConfig::current();
        return config->notificationAuthorization ? config->notificationAuthorization()
                                                 : AuthorizationStatus::notDetermined;
    });
    return center;
}

void UserNotificationCenter::getNotificationSettings(SettingsHandler completionHandler) {
    std::lock_guard lock(worker_->mutex);
    worker_->requests.push_back(std::move(completionHandler));
    worker_->wake.notify_one();
}

}  // namespace orvanpush::platform
