// orvanpush: a person's way to try the library, and the way end-to-end tests drive it.

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <string_view>
#include <vector>

#include "Cli.h"
#include "CompletionCommand.h"
#include "DemoCommand.h"
#include "InstanceCommands.h"
#include "LogCommands.h"
#include "MessageCommands.h"
#include "SubscriptionCommands.h"
#include "UsageErrors.h"
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

// What --help shows below the commands: the outcomes a script reads.
constexpr const char* kOutcomes = R"(Outcomes:
  Results go to standard output, messages for a person to standard error. With --json every
  command prints exactly one JSON object as its last line, and every object has "result":
  "success" or "error". Successes keep their own members beside it. Errors add "error" (the
  kind: usage, internal, timeout, server, noLogServer, notStored, storage, zip, demo, or the
  library's case such as settingNotFound), "message" (what happened and what to do), and what
  the library gave: "errorCode" and "errorDescription" of a result, or "payload" of a case.

Exit status:
  0 success; 1 an error result (server, transport, a file not sent); 2 a usage or validation
  error, or an error the library threw before sending; 3 an internal error, or a wait that ran
  out of --timeout.

Environment:
  ORVANPUSH_HOME (--home), ORVANPUSH_CA_FILE (--ca-file), ORVANPUSH_NOTIFICATION_AUTH
  (notDetermined, denied, authorized, provisional or ephemeral), NO_PROXY for loopback servers.)";

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
    app.add_flag("--verbose", options.verbose, "Log to standard error");
    app.add_option("--ca-file", options.caFile,
                   "CA certificates (PEM) that verify the servers' TLS certificates, instead of "
                   "the system's")
        ->envname("ORVANPUSH_CA_FILE")
        ->check(CLI::ExistingFile);
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
    if (options.caFile) {
        config.caFile = options.caFile;
    }
    platform::PlatformConfig::install(std::move(config));
    // Standard output carries the results: the library's own lines go to standard error.
    platform::Console::sendTo(platform::Console::Destination::standardError);
    if (!options.verbose) {
        Log::neverEnable();
    } else {
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
        context.situation.home = platform::PlatformConfig::current()->home.string();
        code = context.action();
    } catch (const OrvanPushSDKError& error) {
        context.out.thrown(error);
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
// struck), else the message for a person on standard error.
int reportUsageError(CLI::App& app, const CLI::ParseError& error, CliContext& context,
                     const std::vector<std::string>& arguments) {
    if (error.get_exit_code() == 0) {
        return app.exit(error);  // --help, --version
    }
    context.options.json = context.options.json || std::find(arguments.begin(), arguments.end(),
                                                             "--json") != arguments.end();
    context.out.error("usage", usageMessage(app, error, arguments));
    return kExitUsage;
}

// The command chosen and its --id, for the sentences that name them.
Situation situationOf(const CLI::App& app) {
    Situation situation;
    for (const auto* command : app.get_subcommands()) {
        situation.command = command->get_name();
        if (const auto* id = command->get_option_no_throw("--id"); id && id->count() > 0) {
            situation.instanceId = id->as<std::string>();
        }
    }
    return situation;
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
    addCompletionCommand(app, context);
    app.footer(kOutcomes);  // after the commands, which would copy it
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return reportUsageError(app, error, context, arguments);
    }
    context.situation = situationOf(app);
    return runAction(context);
}
