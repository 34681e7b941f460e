#include "sdk/OperationSupport.h"

#include "text/Utf8Text.h"
#include "utils/logger/log_manager/SdkLog.h"

namespace orvanpush::detail {

std::optional<std::string> repaired(const std::optional<std::string>& value) {
    return value ? std::optional(repairUtf8(*value)) : std::nullopt;
}

std::string errorDetails(const BaseApiResult& result, std::string_view separator) {
    return std::to_string(result.getErrorCode()) + std::string(separator) +
           result.getErrorDescription().value_or("no description");
}

std::string descriptionOf(const std::optional<TextError>& error) {
    return error ? std::string(error->what()) : std::string("no description");
}

void logEntry(std::string text, LogSeverity severity, SourceLocation site) {
    SdkLog::message(severity, LoggerModule::sdk, std::move(text), site);
}

std::string parameterLine(const std::vector<std::pair<std::string, std::string>>& pairs) {
    std::string line = "Parameters: ";
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        line += (i == 0 ? "" : ", ") + pairs[i].first + " - " + pairs[i].second;
    }
    return line;
}

}  // namespace orvanpush::detail
