#include "platform/CrossProcessNotification.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "orvanpush/TextError.h"
#include "orvanpush/platform/MainQueue.h"
#include "platform/FileDescriptor.h"
#include "platform/Home.h"
#include "platform/WakeableWait.h"

namespace orvanpush::platform {
namespace {

[[noreturn]] void throwSystemError(const std::string& what) {
    throw TextError(what + ": " + std::strerror(errno));
}

// The observers of this process by name. Shared with the calls waiting on the main queue, so a
// call finds the table alive even when the watcher is gone.
class ObserverTable : public std::enable_shared_from_this<ObserverTable> {
  public:
    std::uint64_t add(const std::string& name, std::function<void()> callback) {
        std::lock_guard lock(mutex_);
        observers_.push_back({++lastId_, name, std::move(callback)});
        return lastId_;
    }

    void remove(std::uint64_t id) {
        std::function<void()> released;  // destroyed outside the lock: it may own anything
        std::lock_guard lock(mutex_);
        for (auto it = observers_.begin(); it != observers_.end(); ++it) {
            if (it->id == id) {
                released = std::move(it->callback);
                observers_.erase(it);
                break;
            }
        }
    }

    // Schedules one call of the observers of `name` unless one is already waiting.
    void signal(const std::string& name) {
        {
            std::lock_guard lock(mutex_);
            if (!isObserved(name) || !pending_.insert(name).second) {
                return;
            }
        }
        MainQueue::async([table = shared_from_this(), name] { table->deliver(name); });
    }

    // After lost events: every observed name may have been posted.
    void signalAll() {
        std::set<std::string> names;
        {
            std::lock_guard lock(mutex_);
            for (const auto& observer : observers_) {
                names.insert(observer.name);
            }
        }
        for (const auto& name : names) {
            signal(name);
        }
    }

  private:
    struct Observer {
        std::uint64_t id;
        std::string name;
        std::function<void()> callback;
    };

    bool isObserved(const std::string& name) const {
        for (const auto& observer : observers_) {
            if (observer.name == name) {
                return true;
            }
        }
        return false;
    }

    void deliver(const std::string& name) {
        std::vector<std::function<void()>> callbacks;
        {
            // Cleared before the calls: a post from now on gets a call of its own.
            std::lock_guard lock(mutex_);
            pending_.erase(name);
            for (const auto& observer : observers_) {
                if (observer.name == name) {
                    callbacks.push_back(observer.callback);
                }
            }
        }
        for (const auto& callback : callbacks) {
            callback();
        }
    }

    std::mutex mutex_;
    std::vector<Observer> observers_;
    std::set<std::string> pending_;
    std::uint64_t lastId_ = 0;
};

// The inotify watch on the notify directory and the thread that reads it. It lives as long as
// some registration does; its destructor wakes the thread and joins it.
class Watcher {
  public:
    explicit Watcher(const std::filesystem::path& directory)
        : inotify_(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK)),
          table_(std::make_shared<ObserverTable>()) {
        if (inotify_.get() < 0 || !wait_.valid()) {
            throwSystemError("Cannot watch " + directory.string());
        }
        // A post touches its file: opened for writing and closed, or its times set.
        if (::inotify_add_watch(inotify_.get(), directory.c_str(),
                                IN_CLOSE_WRITE | IN_ATTRIB | IN_MOVED_TO) < 0) {
            throwSystemError("Cannot watch " + directory.string());
        }
        thread_ = std::thread([this] { run(); });
    }

    ~Watcher() {
        wait_.wake();
        thread_.join();
    }

    Watcher(const Watcher&) = delete;
    Watcher& operator=(const Watcher&) = delete;

    ObserverTable& table() { return *table_; }

  private:
    void run() {
        while (wait_.untilReadable(inotify_.get())) {
            readEvents();
        }
    }

    void readEvents() {
        alignas(inotify_event) char buffer[16 * 1024];
        while (true) {
            const auto length = ::read(inotify_.get(), buffer, sizeof buffer);
            if (length <= 0) {
                return;  // EAGAIN: everything read
            }
            for (std::size_t offset = 0; offset < static_cast<std::size_t>(length);) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
                if ((event->mask & IN_Q_OVERFLOW) != 0) {
                    table_->signalAll();
                } else if (event->len > 0) {
                    table_->signal(event->name);
                }
                offset += sizeof(inotify_event) + event->len;
            }
        }
    }

    FileDescriptor inotify_;
    WakeableWait wait_;
    std::shared_ptr<ObserverTable> table_;
    std::thread thread_;
};

class WatchRegistration : public CrossProcessNotification::Registration {
  public:
    WatchRegistration(std::shared_ptr<Watcher> watcher, std::uint64_t id)
        : watcher_(std::move(watcher)), id_(id) {}
    ~WatchRegistration() override { watcher_->table().remove(id_); }

  private:
    std::shared_ptr<Watcher> watcher_;
    std::uint64_t id_;
};

// The process's one watcher while any registration holds it; a new one after the last is gone.
std::shared_ptr<Watcher> sharedWatcher() {
    static std::mutex mutex;
    static std::weak_ptr<Watcher> current;
    std::lock_guard lock(mutex);
    auto watcher = current.lock();
    if (!watcher) {
        watcher = std::make_shared<Watcher>(Home::notifyDirectory());
        current = watcher;
    }
    return watcher;
}

}  // namespace

void CrossProcessNotification::post(const std::string& name) {
    const auto path = Home::notifyFile(name);
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        throwSystemError("Cannot post notification " + path.string());
    }
    ::close(descriptor);  // closing a file opened for writing is what the watchers see
}

std::unique_ptr<CrossProcessNotification::Registration> CrossProcessNotification::observe(
    const std::string& name, std::function<void()> callback) {
    Home::notifyFile(name);  // checks the name
    auto watcher = sharedWatcher();
    const auto id = watcher->table().add(name, std::move(callback));
    return std::make_unique<WatchRegistration>(std::move(watcher), id);
}

}  // namespace orvanpush::platform
