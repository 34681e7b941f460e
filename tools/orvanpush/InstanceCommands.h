#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "Cli.h"
#include "orvanpush/ServerParams.h"

namespace orvanpush::cli {

/// init (saves an instance's configuration) and whoami (the subscriber identity it has saved).
void addInstanceCommands(CLI::App& app, CliContext& context);

/// `scheme://host[:port][/context]` as server parameters; the port defaults to 443 for https and
/// 80 for http, and an empty context is absent. Nothing for any other text, `error` then says
/// why.
std::optional<ServerParams> parseServerUrl(std::string_view url, std::string& error);

}  // namespace orvanpush::cli
