#pragma once

// Test support: every test program runs with a fresh temporary home (set up by the test main
// before any test), and tests make further private directories below it.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "orvanpush/platform/PlatformConfig.h"

namespace orvanpush::testing {

/// The temporary home of this test program (also $ORVANPUSH_HOME).
const std::filesystem::path& testHome();

/// A fresh, empty directory below the test home, removed with the object.
class TempDirectory {
  public:
    TempDirectory() {
        static std::atomic<int> counter{0};
        path_ = testHome() / "tmp" / std::to_string(counter++);
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

/// A one-shot event: `notify` once, `wait` with a time-out.
class Event {
  public:
    void notify() {
        // Under the lock: the waiter may destroy the event as soon as it sees the flag.
        std::lock_guard lock(mutex_);
        notified_ = true;
        condition_.notify_all();
    }
    /// True when notified within `timeout`.
    bool wait(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        std::unique_lock lock(mutex_);
        return condition_.wait_for(lock, timeout, [this] { return notified_; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable condition_;
    bool notified_ = false;
};

/// Installs a changed copy of the platform configuration for the life of the object, then puts
/// back the one it replaced:
///   ScopedPlatformConfig extension([](auto& config) { config.bundleIdentifier = "x.extension"; });
class ScopedPlatformConfig {
  public:
    explicit ScopedPlatformConfig(const std::function<void(platform::PlatformConfig&)>& change)
        : replaced_(platform::PlatformConfig::current()) {
        auto config = *replaced_;
        change(config);
        platform::PlatformConfig::install(std::move(config));
    }
    ~ScopedPlatformConfig() { platform::PlatformConfig::install(*replaced_); }
    ScopedPlatformConfig(const ScopedPlatformConfig&) = delete;
    ScopedPlatformConfig& operator=(const ScopedPlatformConfig&) = delete;

  private:
    std::shared_ptr<const platform::PlatformConfig> replaced_;
};

}  // namespace orvanpush::testing
