#pragma once

#include "Cli.h"

namespace orvanpush::cli {

/// The message commands: receive (a push payload as the system hands it to the extension, or
/// a message's fields), read, content (a message's rich content), messages and message (the
/// local store) and remove. Each waits for its completion within --timeout.
void addMessageCommands(CLI::App& app, CliContext& context);

}  // namespace orvanpush::cli
