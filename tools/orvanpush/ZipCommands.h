#pragma once

#include "Cli.h"

namespace orvanpush::cli {

/// zip SOURCE DEST [--store]: packs a file or directory into a new archive, entries named
/// after the source, with a progress bar on standard error when it is a terminal.
void addZipCommands(CLI::App& app, CliContext& context);

}  // namespace orvanpush::cli
