#pragma once

#include "Cli.h"

namespace orvanpush::cli {

/// completion bash: prints a bash completion script made from the tool's own commands and
/// options (`source <(orvanpush completion bash)`).
void addCompletionCommand(CLI::App& app, CliContext& context);

}  // namespace orvanpush::cli
