#pragma once

#include "Cli.h"

namespace orvanpush::cli {

/// send-logs --id ID: uploads today's log files to the instance's log server, waits for every
/// answer and prints each file's outcome; exits 1 when a file was not sent.
void addLogCommands(CLI::App& app, CliContext& context);

}  // namespace orvanpush::cli
