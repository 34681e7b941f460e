#pragma once

// Usage errors in the person's words: a misspelt command or option is named with the nearest
// known ones ("unknown command 'demoo': did you mean 'demo'?"); any other error keeps CLI11's
// message and points at the command's --help.
//
//   catch (const CLI::ParseError& error) {
//       out.error("usage", usageMessage(app, error, {argv + 1, argv + argc}));
//   }

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace orvanpush::cli {

/// The message for `error`, raised while `app` parsed `arguments` (the program name left out).
std::string usageMessage(const CLI::App& app, const CLI::ParseError& error,
                         const std::vector<std::string>& arguments);

/// Every option of `command`, its option groups' included.
std::vector<const CLI::Option*> optionsOf(const CLI::App& command);

/// The named commands of `app`.
std::vector<const CLI::App*> commandsOf(const CLI::App& app);

}  // namespace orvanpush::cli
