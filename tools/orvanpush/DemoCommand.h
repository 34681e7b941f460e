#pragma once

#include "Cli.h"

namespace orvanpush::cli {

/// --version: prints "orvanpush " and the library's version.
void addVersionFlag(CLI::App& app);

/// demo: a walk through what the library does. Without --home it works in a temporary home of
/// its own, removed at exit unless --keep-home is given.
void addDemoCommand(CLI::App& app, CliContext& context);

}  // namespace orvanpush::cli
