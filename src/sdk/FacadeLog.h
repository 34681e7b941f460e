#pragma once

// The facade's log sites: SdkLog messages of the sdk module, at each site's severity, with the
// caller's file, line and function.

#include <optional>
#include <string>
#include <utility>

#include "utils/logger/log_manager/SdkLog.h"

namespace orvanpush::detail {

inline void logTrace(std::string text, SourceLocation site = SourceLocation::current()) {
    SdkLog::message(LogSeverity::trace, LoggerModule::sdk, std::move(text), site);
}

inline void logInfo(std::string text, SourceLocation site = SourceLocation::current()) {
    SdkLog::message(LogSeverity::info, LoggerModule::sdk, std::move(text), site);
}

inline void logError(std::string text, SourceLocation site = SourceLocation::current()) {
    SdkLog::message(LogSeverity::error, LoggerModule::sdk, std::move(text), site);
}

/// The description of an optional error, or "no description".
template <class Error>
std::string descriptionOf(const std::optional<Error>& error) {
    return error ? std::string(error->what()) : std::string("no description");
}

}  // namespace orvanpush::detail
