#pragma once

// The command-line tool's shared pieces: global options, exit codes, and the output of results
// for a person (one fact per line) or as one JSON object on the last line of standard output.
//
// Each command family lives in its own file and registers itself with
//   void add<Family>Commands(CLI::App& app, CliContext& context);
// (declared in <Family>Commands.h and called from main.cpp). A command's callback sets
// `context.action`; main runs it after the platform is configured from the global options,
// maps thrown errors to exit codes, and waits for outstanding work.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "Remedies.h"
#include "orvanpush/OrvanPushSDKError.h"
#include "orvanpush/Types.h"

namespace orvanpush::cli {

enum ExitCode : int {
    kExitSuccess = 0,   ///< the command succeeded
    kExitError = 1,     ///< an error result: server, transport, or an error handed to a completion
    kExitUsage = 2,     ///< usage or validation error (the thrown error is printed)
    kExitInternal = 3,  ///< an internal error of the library or the tool
};

struct GlobalOptions {
    std::optional<std::string> home;  ///< absent: the library's default home
    std::string bundleId = "orvanpush.cli";
    bool extension = false;
    bool json = false;
    bool verbose = false;
    std::optional<std::string> caFile;  ///< absent: the library's default (the system store)
    double timeout = 60.0;              ///< seconds, finite and positive
};

/// Prints outcomes. In JSON mode every outcome is one object on standard output, and every
/// object has "result": "success" or "error"; an error object also has "error" (its kind) and
/// "message" (what happened and what to do). In text mode each fact is a line on standard
/// output and an error's message goes to standard error ("error: <message>"). Text that is not
/// valid UTF-8 is printed with U+FFFD in its place, so nothing printed can fail.
class Output {
  public:
    Output(const GlobalOptions& options, const Situation& situation)
        : options_(options), situation_(situation) {}

    /// The command's outcome: `object` in JSON mode, `lines` otherwise. An object without
    /// "result" is a success; one whose result is "error" is an error result of a request
    /// (kind "server" and a message made from its code and description) unless it names its
    /// kind and message itself.
    void result(Json object, const std::vector<std::string>& lines) const;
    /// A line for a person; nothing in JSON mode.
    void note(const std::string& line) const;
    /// A failure of `kind` that the library described: `{"result":"error","error":kind,
    /// "errorDescription":description,"message":message}` in JSON mode.
    void failure(const std::string& kind, const std::string& description,
                 const std::string& message) const;
    /// A thrown library error (exit 2): its case as the kind, its payload, and the remedy.
    void thrown(const OrvanPushSDKError& error) const;
    /// An outcome without a result of its own, `kind` being "usage", "internal" or "timeout".
    void error(const std::string& kind, const std::string& message) const;

    /// What the person asked for, as the sentences name it.
    const Situation& situation() const { return situation_; }

  private:
    void printError(Json object) const;

    const GlobalOptions& options_;
    const Situation& situation_;
};

struct CliContext {
    GlobalOptions options;
    Situation situation;
    Output out{options, situation};
    /// Set by the chosen command's callback; returns the exit code.
    std::function<int()> action;
    /// Resources of the chosen command (such as the demo's temporary home), released when the
    /// tool exits, after the wait for outstanding work.
    std::shared_ptr<void> scratch;

    /// The time-out of --timeout as a duration.
    std::chrono::milliseconds timeout() const {
        return std::chrono::milliseconds(static_cast<long long>(options.timeout * 1000));
    }
};

}  // namespace orvanpush::cli
