#include "DemoCommand.h"

#include <filesystem>
#include <fstream>

#include "orvanpush/OrvanPushSDKError.h"
#include "orvanpush/PushSDK.h"
#include "orvanpush/platform/PlatformConfig.h"

namespace orvanpush::cli {
namespace {

constexpr const char* kDemoIdentifier = "demo";

// Where the library keeps this process's daily log files.
std::filesystem::path logDirectory() {
    auto config = platform::PlatformConfig::current();
    return config->home / "documents" / config->bundleIdentifier / "OrvanPushSDKLogs";
}

const ServerParams kPushServer{"http", "127.0.0.1", 8090, "api"};

// Each failed look-up is written to the day's log file as an error entry.
void showFailedLookUp(const Output& out, const std::string& when) {
    try {
        PushSDK::getInstance(kDemoIdentifier);
        out.note("getInstance " + when + " found a configuration");
    } catch (const OrvanPushSDKError& error) {
        out.note("getInstance " + when + " throws " + error.description());
    }
}

void showLookUpBeforeConfiguration(const Output& out) {
    showFailedLookUp(out, "before createInstance");
    PushSDK::createInstance(kDemoIdentifier, kPushServer, "demo", "", std::nullopt, true);
    showFailedLookUp(out, "after createInstance with an empty password");
}

void showConfiguration(const Output& out) {
    PushSDK::createInstance(kDemoIdentifier, "group.orvanpush.demo",
                            ServerParams{"http", "127.0.0.1", 8090, "api"}, "demo", "demo-password",
                            ServerParams{"http", "127.0.0.1", 8090, "logs"}, true,
                            StorageParams{100, 7});
    out.note("createInstance saved the configuration of \"" + std::string(kDemoIdentifier) +
             "\" (shared group group.orvanpush.demo)");
    auto sdk = PushSDK::getInstance(kDemoIdentifier);
    auto orNone = [](const std::optional<std::string>& value) { return value.value_or("(none)"); };
    out.note("getInstance built an instance; token " + orNone(sdk->getSavedToken()) +
             ", client id " + orNone(sdk->getClientId()) + ", device id " +
             orNone(sdk->getDeviceId()));
}

void showLogFiles(const Output& out) {
    auto directory = logDirectory();
    out.note("Log files in " + directory.string() + ":");
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
        out.note("== " + entry.path().filename().string());
        std::ifstream file(entry.path());
        for (std::string line; std::getline(file, line);) {
            out.note(line);
        }
    }
    if (error) {
        out.note("(cannot list: " + error.message() + ")");
    }
}

}  // namespace

void addVersionFlag(CLI::App& app) {
    app.set_version_flag("--version", "orvanpush " + PushSDK::OrvanPushSDKVersion());
}

void addDemoCommand(CLI::App& app, CliContext& context) {
    auto* demo = app.add_subcommand("demo", "Walk through what the library does");
    demo->callback([&context] {
        context.action = [&context] {
            const auto& out = context.out;
            out.note("OrvanPushSDK " + PushSDK::OrvanPushSDKVersion());
            out.note("Home: " + platform::PlatformConfig::current()->home.string());
            showLookUpBeforeConfiguration(out);
            showConfiguration(out);
            showLogFiles(out);
            return kExitSuccess;
        };
    });
}

}  // namespace orvanpush::cli
