// orvanpush: a person's way to try the library, and the way end-to-end tests drive it.

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <string_view>

#include "Cli.h"
#include "DemoCommand.h"
#include "InstanceCommands.h"
#include "LogCommands.h"
#include "SubscriptionCommands.h"
#include "MessageCommands.h"
#include "Validators.h"
#include "ZipCommands.h"
#include "orvanpush/OrvanPushSDKError.h"
#include "orvanpush/PushSDK.h"
#include "orvanpush/logger/BasicLogConfiguration.h"
#include "orvanpush/logger/Log.h"
#include "orvanpush/logger/OutputStreamLogRecorder.h"
#include "orvanpush/logger/XcodeLogFormatter.h"
#include "orvanpush/platform/Console.h"
#include "orvanpush/platform/MainQueue.h"
#include "orvanpush/platform/PlatformConfig.h"

namespace orvanpush::cli {
namespace {

// The longest --timeout: a year, far beyond any wait yet safe to add to a clock reading.
constexpr double kMaxTimeoutSeconds = 365.0 * 24 * 60 * 60;

void addGlobalOptions(CLI::App& app, GlobalOptions& options) {
    app.add_option("--home", options.home, "Directory of the library's files")
        ->envname("ORVANPUSH_HOME")
        ->check(nonEmpty());
    app.add_option("--bundle-id", options.bundleId, "Bundle identifier of this process")
        ->capture_default_str();
    app.add_flag("--extension", options.extension,
                 "Act as the notification-service extension process");
    app.add_flag("--json", options.json, "Print each result as one JSON object");
    app.add_flag("--verbose", options.verbose, "Log to the console");
    app.add_option("--timeout", options.timeout,
                   "Seconds to wait for the command's completion and outstanding work")
        ->check(positiveSeconds(kMaxTimeoutSeconds))
        ->capture_default_str();
}

void configurePlatform(const GlobalOptions& options) {
    auto config = platform::PlatformConfig::fromEnvironment();
    if (options.home) {
        config.home = std::filesystem::absolute(*options.home);
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

// Waits, within the command's time-out, for the library's outstanding work and the main
// queue; false when the time ran out.
bool waitForOutstandingWork(std::chrono::steady_clock::time_point deadline) {
    const auto remaining = [deadline] {
        return std::max(std::chrono::milliseconds(0),
                        std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now()));
    };
    return PushSDK::waitForOutstandingWork(remaining()) &&
           platform::MainQueue::waitUntilIdle(remaining());
}

// Runs the chosen command: a thrown OrvanPushSDKError is a usage error (2), anything else
// thrown is internal (3), and so is a wait for outstanding work that runs out (reported unless
// the command reported an internal outcome of its own).
int runAction(CliContext& context) {
    const auto deadline = std::chrono::steady_clock::now() + context.timeout();
    int code = kExitSuccess;
    try {
        configurePlatform(context.options);
        code = context.action();
    } catch (const OrvanPushSDKError& error) {
        context.out.thrown(toString(error.kind()), error.payload(), error.description());
        code = kExitUsage;
    } catch (const std::exception& error) {
        context.out.error("internal", error.what());
        code = kExitInternal;
    }
    // An internal error, or a completion that did not come in time, has had its one report.
    if (!waitForOutstandingWork(deadline) && code != kExitInternal) {
        context.out.error("timeout", "the library's work did not finish within the time-out");
        return kExitInternal;
    }
    return code;
}

// A usage error as one JSON object with --json (which may not have been parsed when the error
// struck), else CLI11's message for a person.
int reportUsageError(CLI::App& app, const CLI::ParseError& error, CliContext& context, int argc,
                     char** argv) {
    if (error.get_exit_code() == 0) {
        return app.exit(error);  // --help, --version
    }
    context.options.json =
        context.options.json ||
        std::find(argv + 1, argv + argc, std::string_view("--json")) != argv + argc;
    context.out.error("usage",
                      context.options.json
                          ? std::string(error.what())
                          : std::string(error.what()) + "\nRun with --help for more information.");
    return kExitUsage;
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
    addSubscriptionCommands(app, context);
    addMessageCommands(app, context);
    addZipCommands(app, context);
    addLogCommands(app, context);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return reportUsageError(app, error, context, argc, argv);
    }
    return runAction(context);
}
