#pragma once

// Test support: every test program runs with a fresh temporary home (set up by the test main
// before any test), and tests make further private directories below it.

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
    TempDirectory();
    ~TempDirectory();
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

/// A one-shot event: `notify` once, `wait` with a time-out.
class Event {
  public:
    void notify();
    /// True when notified within `timeout`.
    bool wait(std::chrono::milliseconds timeout = std::chrono::seconds(10));

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
    explicit ScopedPlatformConfig(const std::function<void(platform::PlatformConfig&)>& change);
    ~ScopedPlatformConfig();
    ScopedPlatformConfig(const ScopedPlatformConfig&) = delete;
    ScopedPlatformConfig& operator=(const ScopedPlatformConfig&) = delete;

  private:
    std::shared_ptr<const platform::PlatformConfig> replaced_;
};

}  // namespace orvanpush::testing
