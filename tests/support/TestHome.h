#pragma once

// Test support: every test program runs with a fresh temporary home (set up by the test main
// before any test), and tests make further private directories below it.

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>

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

}  // namespace orvanpush::testing
