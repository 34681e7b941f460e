#pragma once

// Test support: every test program runs with a fresh temporary home (set up by the test main
// before any test), and tests make further private directories below it. Here too: what the
// programs share to wait, to change or read process-wide state, and a host's header manager.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "orvanpush/HttpRequestAdditionalHeaderManager.h"
#include "orvanpush/platform/Console.h"
#include "orvanpush/platform/MainQueue.h"
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

/// Takes the console's lines that `keep` accepts (every line without it), whatever thread
/// writes them, for the life of the object; then gives the console back, even when an
/// assertion leaves the test early.
class ConsoleCapture {
  public:
    explicit ConsoleCapture(std::function<bool(std::string_view)> keep = {}) {
        platform::Console::redirect([this, keep = std::move(keep)](std::string_view line) {
            if (!keep || keep(line)) {
                const std::lock_guard lock(mutex_);
                lines_.emplace_back(line);
            }
        });
    }
    ~ConsoleCapture() { platform::Console::redirect({}); }

    std::vector<std::string> lines() const {
        const std::lock_guard lock(mutex_);
        return lines_;
    }
    void clear() {
        const std::lock_guard lock(mutex_);
        lines_.clear();
    }

  private:
    mutable std::mutex mutex_;  // lines come from any thread
    std::vector<std::string> lines_;
};

/// A host's header manager: hands every request the same headers and notes, for each call,
/// the request's name and whether the main queue asked (read them once the requests are over).
class HostHeaders : public HttpRequestAdditionalHeaderManager {
  public:
    using Headers = std::map<std::string, std::string>;
    explicit HostHeaders(Headers headers = {}) : headers_(std::move(headers)) {}
    Headers getAdditionalHeaders(const std::string& uri) override {
        const std::lock_guard lock(mutex_);
        requestUris.push_back(uri);
        onMainQueue.push_back(platform::MainQueue::isCurrent());
        return headers_;
    }
    std::vector<std::string> requestUris;
    std::vector<bool> onMainQueue;

  private:
    std::mutex mutex_;
    const Headers headers_;
};

}  // namespace orvanpush::testing
