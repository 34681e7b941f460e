#include "support/TestHome.h"

#include <cstdlib>
#include <stdexcept>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "orvanpush/platform/PlatformConfig.h"

namespace orvanpush::testing {

const std::filesystem::path& testHome() {
    static const std::filesystem::path home = [] {
        auto pattern = (std::filesystem::temp_directory_path() / "orvanpush-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot create a temporary home");
        }
        return std::filesystem::path(pattern);
    }();
    return home;
}

}  // namespace orvanpush::testing

int main(int argc, char** argv) {
    ::testing::InitGoogleMock(&argc, argv);
    const auto& home = orvanpush::testing::testHome();
    setenv("ORVANPUSH_HOME", home.c_str(), 1);
    setenv("ORVANPUSH_BUNDLE_ID", "orvanpush.tests", 1);
    auto config = orvanpush::platform::PlatformConfig::fromEnvironment();
    orvanpush::platform::PlatformConfig::install(config);
    const int result = RUN_ALL_TESTS();
    std::filesystem::remove_all(home);
    return result;
}
