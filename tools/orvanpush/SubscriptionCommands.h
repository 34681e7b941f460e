#pragma once

#include "Cli.h"

namespace orvanpush::cli {

/// subscribe, unsubscribe, update-token, subscriber, update-subscriber and history: each sends
/// its request, waits (within --timeout) for the completion and prints the result record.
void addSubscriptionCommands(CLI::App& app, CliContext& context);

}  // namespace orvanpush::cli
