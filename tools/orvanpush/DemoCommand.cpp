#include "DemoCommand.h"

#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>

#include "orvanpush/OrvanPushSDKError.h"
#include "orvanpush/PushSDK.h"
#include "orvanpush/platform/PlatformConfig.h"
#include "utils/logger/log_manager/LogManager.h"

namespace orvanpush::cli {
namespace {

constexpr const char* kDemoIdentifier = "demo";

// A home of the demo's own, so that it never touches the user's; removed at exit unless kept.
class TemporaryHome {
  public:
    explicit TemporaryHome(bool keep) : keep_(keep) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "orvanpush-demo-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::system_error(errno, std::generic_category(), "cannot create a demo home");
        }
        path_ = pattern;
    }
    ~TemporaryHome() {
        if (!keep_) {
            std::error_code ignored;
            std::filesystem::remove_all(path_, ignored);
        }
    }
    TemporaryHome(const TemporaryHome&) = delete;
    TemporaryHome& operator=(const TemporaryHome&) = delete;

    const std::filesystem::path& path() const { return path_; }

  private:
    bool keep_;
    std::filesystem::path path_;
};

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
    const auto directory = detail::LogManager::logDirectory();
    if (!directory) {
        out.note("(no log directory)");
        return;
    }
    out.note("Log files in " + directory->string() + ":");
    for (const auto& file : detail::LogManager::getLogFiles()) {
        out.note("== " + file.filename().string());
        std::ifstream lines(file);
        for (std::string line; std::getline(lines, line);) {
            out.note(line);
        }
    }
}

}  // namespace

void addVersionFlag(CLI::App& app) {
    app.set_version_flag("--version", "orvanpush " + PushSDK::OrvanPushSDKVersion());
}

void addDemoCommand(CLI::App& app, CliContext& context) {
    auto* demo = app.add_subcommand("demo", "Walk through what the library does");
    auto keepHome = std::make_shared<bool>(false);
    demo->add_flag("--keep-home", *keepHome, "Leave the demo's temporary home in place");
    demo->callback([&context, keepHome] {
        if (!context.options.home) {
            auto home = std::make_shared<TemporaryHome>(*keepHome);
            context.options.home = home->path().string();
            context.scratch = home;
        }
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
