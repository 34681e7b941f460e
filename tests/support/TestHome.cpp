#include "support/TestHome.h"

#include <atomic>
#include <cstdlib>
#include <stdexcept>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "orvanpush/platform/PlatformConfig.h"

namespace orvanpush::testing {
namespace {

std::filesystem::path makeHome() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "orvanpush-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary home");
    }
    return pattern;
}

class HomeEnvironment : public ::testing::Environment {
  public:
    void TearDown() override { std::filesystem::remove_all(testHome()); }
};

}  // namespace

const std::filesystem::path& testHome() {
    static const std::filesystem::path home = makeHome();
    return home;
}

TempDirectory::TempDirectory() {
    static std::atomic<int> counter{0};
    path_ = testHome() / "tmp" / std::to_string(counter++);
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
}

TempDirectory::~TempDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void Event::notify() {
    // Under the lock: the waiter may destroy the event as soon as it sees the flag.
    std::lock_guard lock(mutex_);
    notified_ = true;
    condition_.notify_all();
}

bool Event::wait(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return condition_.wait_for(lock, timeout, [this] { return notified_; });
}

ScopedPlatformConfig::ScopedPlatformConfig(
    const std::function<void(platform::PlatformConfig&)>& change)
    : replaced_(platform::PlatformConfig::current()) {
    auto config = *replaced_;
    change(config);
    platform::PlatformConfig::install(std::move(config));
}

ScopedPlatformConfig::~ScopedPlatformConfig() {
    platform::PlatformConfig::install(*replaced_);
}

}  // namespace orvanpush::testing

int main(int argc, char** argv) {
    ::testing::InitGoogleMock(&argc, argv);
    const auto& home = orvanpush::testing::testHome();
    setenv("ORVANPUSH_HOME", home.c_str(), 1);
    setenv("ORVANPUSH_BUNDLE_ID", "orvanpush.tests", 1);
    auto config = orvanpush::platform::PlatformConfig::fromEnvironment();
    orvanpush::platform::PlatformConfig::install(config);
    ::testing::AddGlobalTestEnvironment(new orvanpush::testing::HomeEnvironment);
    return RUN_ALL_TESTS();
}
