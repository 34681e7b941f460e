#pragma once

#include <optional>
#include <source_location>
#include <string>

#include "orvanpush/logger/LogChannel.h"
#include "utils/logger/log_manager/SdkLog.h"

namespace orvanpush::detail {

/// Logs `text` on `channel` when it is installed, with the call site's cleaned function name.
/// For the console-only messages of the log management itself.
inline void logOnChannel(const std::optional<LogChannel>& channel, std::string text,
                         std::source_location site = std::source_location::current()) {
    if (channel) {
        channel->message(std::move(text), SdkLog::functionName(site), site.file_name(),
                         static_cast<int>(site.line()));
    }
}

}  // namespace orvanpush::detail
