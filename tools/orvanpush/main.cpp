// orvanpush: a person's way to try the library, and the way end-to-end tests drive it.

#include <filesystem>
#include <iostream>

#include "Cli.h"
#include "DemoCommand.h"
#include "InstanceCommands.h"
#include "ZipCommands.h"
#include "orvanpush/OrvanPushSDKError.h"
#include "orvanpush/PushSDK.h"
#include "orvanpush/TextError.h"
#include "orvanpush/logger/BasicLogConfiguration.h"
#include "orvanpush/logger/Log.h"
#include "orvanpush/logger/OutputStreamLogRecorder.h"
#include "orvanpush/logger/XcodeLogFormatter.h"
#include "orvanpush/platform/Console.h"
#include "orvanpush/platform/MainQueue.h"
#include "orvanpush/platform/PlatformConfig.h"

namespace orvanpush::cli {
namespace {

void addGlobalOptions(CLI::App& app, GlobalOptions& options) {
    app.add_option("--home", options.home, "Directory of the library's files")
        ->envname("ORVANPUSH_HOME");
    app.add_option("--bundle-id", options.bundleId, "Bundle identifier of this process")
        ->capture_default_str();
    app.add_flag("--extension", options.extension,
                 "Act as the notification-service extension process");
    app.add_flag("--json", options.json, "Print each result as one JSON object");
    app.add_flag("--verbose", options.verbose, "Log to the console");
    app.add_option("--timeout", options.timeout, "Seconds to wait for outstanding work")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
}

void configurePlatform(const GlobalOptions& options) {
    auto config = platform::PlatformConfig::fromEnvironment();
    if (!options.home.empty()) {
        config.home = std::filesystem::absolute(options.home);
    }
    config.bundleIdentifier = options.bundleId;
    if (options.extension) {
        config.bundleIdentifier += ".extension";
        auto directory = std::filesystem::path(config.bundlePath).parent_path();
        config.bundlePath = (directory / (config.bundleIdentifier + ".appex")).string();
    }
    platform::PlatformConfig::install(std::move(config));
    if (options.json) {
        // Standard output carries the result objects: the library's own lines go elsewhere.
        platform::Console::redirect([](std::string_view line) { std::cerr << line << '\n'; });
    }
    if (!options.verbose) {
        Log::neverEnable();
    } else if (options.json) {
        // The first enabling wins, so the library's console set-up is replaced by one that logs
        // to standard error, each line written before the logging call returns.
        auto recorder = std::make_shared<StandardErrorLogRecorder>(
            LogFormatters{std::make_shared<XcodeLogFormatter>(true)});
        Log::enable(LogConfigurationPtr(std::make_shared<BasicLogConfiguration>(
            LogSeverity::info, LogFilters{}, LogRecorders{recorder}, true)));
    }
}

int runAction(CliContext& context) {
    try {
        int code = context.action();
        PushSDK::waitForOutstandingWork(context.timeout());
        platform::MainQueue::waitUntilIdle(context.timeout());
        return code;
    } catch (const OrvanPushSDKError& error) {
        context.out.thrown(toString(error.kind()), error.payload(), error.description());
        return kExitUsage;
    } catch (const TextError& error) {
        context.out.failure(error.what());
        return kExitError;
    } catch (const std::exception& error) {
        context.out.failure(std::string("internal error: ") + error.what());
        return kExitInternal;
    }
}

}  // namespace
}  // namespace orvanpush::cli

int main(int argc, char** argv) {
    using namespace orvanpush::cli;
    CliContext context;
    CLI::App app{"orvanpush: try the OrvanPush SDK from a terminal", "orvanpush"};
    app.require_subcommand(1);
    addGlobalOptions(app, context.options);
    addVersionFlag(app);
    addDemoCommand(app, context);
    addInstanceCommands(app, context);
    addZipCommands(app, context);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        int code = app.exit(error);
        return code == 0 ? kExitSuccess : kExitUsage;
    }
    configurePlatform(context.options);
    return runAction(context);
}
