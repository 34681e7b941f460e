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
    double timeout = 60.0;  ///< seconds, finite and positive
};

/// Prints results. In JSON mode only `result` objects reach standard output (the last one is the
/// command's outcome); in text mode each fact is a line. Text that is not valid UTF-8 is printed
/// with U+FFFD in its place, so nothing printed can fail.
class Output {
  public:
    explicit Output(const GlobalOptions& options) : options_(options) {}

    /// The command's outcome: `object` in JSON mode, `lines` otherwise.
    void result(const Json& object, const std::vector<std::string>& lines) const;
    /// A line for a person; nothing in JSON mode.
    void note(const std::string& line) const;
    /// An error in the tool's own words: `{"result":"error","errorDescription":..}` in JSON
    /// mode, "error: <text>" on standard error otherwise.
    void failure(const std::string& description) const;

    /// A thrown validation error: `{"error":<case>,"payload":..}` in JSON mode, "error: " and
    /// its description on standard error otherwise.
    void thrown(const std::string& kind, const std::string& payload,
                const std::string& description) const;

    /// An outcome without a result of its own, `kind` being "usage", "internal" or "timeout":
    /// `{"error":<kind>,"message":..}` in JSON mode, "error: <message>" on standard error
    /// otherwise.
    void error(const std::string& kind, const std::string& message) const;

  private:
    const GlobalOptions& options_;
};

struct CliContext {
    GlobalOptions options;
    Output out{options};
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
