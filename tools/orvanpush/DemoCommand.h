#pragma once

#include "Cli.h"

namespace orvanpush::cli {

/// --version: prints "orvanpush " and the library's version.
void addVersionFlag(CLI::App& app);

/// demo: a walk through what the library does, against a local reference server.
void addDemoCommand(CLI::App& app, CliContext& context);

}  // namespace orvanpush::cli
