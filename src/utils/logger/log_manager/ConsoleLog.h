#pragma once

#include <optional>
#include <string>

#include "orvanpush/logger/LogChannel.h"
#include "orvanpush/logger/SourceLocation.h"
#include "utils/logger/FunctionName.h"
#include "utils/logger/log_manager/FixedSite.h"

namespace orvanpush::detail {

/// Logs `text` on `channel` when it is installed, with the call site's cleaned function name.
/// For the console-only messages of the log management itself.
inline void logOnChannel(const std::optional<LogChannel>& channel, std::string text,
                         SourceLocation site = SourceLocation::current()) {
    if (channel) {
        channel->message(std::move(text), functionName(site), site.file_name(),
                         static_cast<int>(site.line()));
    }
}

/// The same, made at a fixed site.
inline void logOnChannel(const std::optional<LogChannel>& channel, std::string text,
                         const FixedSite& site) {
    if (channel) {
        channel->message(std::move(text), site.function, site.file, site.line);
    }
}

}  // namespace orvanpush::detail
