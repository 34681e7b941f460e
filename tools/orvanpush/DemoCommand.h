#pragma once

#include "Cli.h"

namespace orvanpush::cli {

/// --version: prints "orvanpush " and the library's version.
void addVersionFlag(CLI::App& app);

/// demo: the life of a device, walked through against orvanpush-server started on a loopback
/// port (--server names the program). Without --home it works in a temporary home of its own,
/// removed at exit unless --keep-home is given; a home given must be empty.
/// ORVANPUSH_DEMO_REFUSE=STEP makes the server refuse every request of that step.
void addDemoCommand(CLI::App& app, CliContext& context);

}  // namespace orvanpush::cli
