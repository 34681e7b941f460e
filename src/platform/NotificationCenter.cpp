#include "orvanpush/platform/NotificationCenter.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace orvanpush::platform {

struct NotificationCenter::Observation::Entry {
    std::string name;
    Observer observer;
    /// Held while the observer runs, so that a removal on another thread waits for the call.
    std::mutex calling;
    /// The thread running the observer, so that it may post to itself or remove itself.
    std::atomic<std::thread::id> caller{};
    bool removed = false;  // guarded by `calling`

    Entry(std::string name, Observer observer)
        : name(std::move(name)), observer(std::move(observer)) {}

    void call(const Notification& notification) {
        if (caller.load() == std::this_thread::get_id()) {
            invoke(notification);  // posted from inside its own call
            return;
        }
        std::lock_guard lock(calling);
        if (removed) {
            return;
        }
        caller = std::this_thread::get_id();
        invoke(notification);
        caller = std::thread::id();
    }

    void remove() {
        if (caller.load() == std::this_thread::get_id()) {
            removed = true;  // this thread holds `calling` further up its stack
            return;
        }
        std::lock_guard lock(calling);
        removed = true;
    }

  private:
    void invoke(const Notification& notification) const {
        try {
            observer(notification);
        } catch (...) {
            // An observer's failure is its own; the poster and the other observers go on.
        }
    }
};

struct NotificationCenter::Observation::Registry {
    std::mutex mutex;
    std::vector<std::shared_ptr<Entry>> entries;

    std::vector<std::shared_ptr<Entry>> observersOf(const std::string& name) {
        std::lock_guard lock(mutex);
        std::vector<std::shared_ptr<Entry>> found;
        std::copy_if(entries.begin(), entries.end(), std::back_inserter(found),
                     [&](const auto& entry) { return entry->name == name; });
        return found;
    }

    void erase(const std::shared_ptr<Entry>& entry) {
        std::lock_guard lock(mutex);
        std::erase(entries, entry);
    }
};

NotificationCenter::Observation::Observation(std::weak_ptr<Registry> registry,
                                             std::shared_ptr<Entry> entry)
    : registry_(std::move(registry)), entry_(std::move(entry)) {}

NotificationCenter::Observation::Observation(Observation&& other) noexcept
    : registry_(std::move(other.registry_)), entry_(std::move(other.entry_)) {}

NotificationCenter::Observation& NotificationCenter::Observation::operator=(
    Observation&& other) noexcept {
    if (this != &other) {
        cancel();
        registry_ = std::move(other.registry_);
        entry_ = std::move(other.entry_);
    }
    return *this;
}

void NotificationCenter::Observation::cancel() {
    if (!entry_) {
        return;
    }
    if (const auto registry = registry_.lock()) {
        registry->erase(entry_);
    }
    // Posts under way hold the entry; they see it removed, or are waited for.
    entry_->remove();
    entry_.reset();
    registry_.reset();
}

NotificationCenter::NotificationCenter() : registry_(std::make_shared<Observation::Registry>()) {}

NotificationCenter::~NotificationCenter() = default;

std::shared_ptr<NotificationCenter> NotificationCenter::defaultCenter() {
    static const auto center = std::make_shared<NotificationCenter>();
    return center;
}

NotificationCenter::Observation NotificationCenter::addObserver(std::string name,
                                                                Observer observer) {
    auto entry = std::make_shared<Observation::Entry>(std::move(name), std::move(observer));
    {
        std::lock_guard lock(registry_->mutex);
        registry_->entries.push_back(entry);
    }
    return Observation(registry_, std::move(entry));
}

void NotificationCenter::post(const std::string& name, std::any object) const {
    const Notification notification{name, std::move(object)};
    for (const auto& entry : registry_->observersOf(name)) {
        entry->call(notification);
    }
}

}  // namespace orvanpush::platform
