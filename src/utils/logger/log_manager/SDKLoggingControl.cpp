#include "utils/logger/log_manager/SDKLoggingControl.h"

#include <algorithm>
#include <cctype>

#include "orvanpush/logger/LogSeverity.h"
#include "utils/logger/log_manager/ConsoleLog.h"
#include "utils/logger/log_manager/LogSettings.h"
#include "utils/logger/log_manager/SdkVersion.h"

namespace orvanpush::detail {
namespace {

std::optional<std::string> stringAt(const Json& object, const char* key) {
    auto found = object.find(key);
    if (found == object.end() || !found->is_string()) {
        return std::nullopt;
    }
    return found->get<std::string>();
}

std::optional<std::vector<std::string>> stringListAt(const Json& object, const char* key) {
    auto found = object.find(key);
    if (found == object.end() || !found->is_array()) {
        return std::nullopt;
    }
    std::vector<std::string> list;
    for (const auto& element : *found) {
        if (!element.is_string()) {
            return std::nullopt;
        }
        list.push_back(element.get<std::string>());
    }
    return list;
}

std::string lowercased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

std::optional<SDKLoggingControl> SDKLoggingControl::fromJson(const Json& object) {
    if (!object.is_object()) {
        return std::nullopt;
    }
    auto logLevel = stringAt(object, "log-level");
    auto sendLogs = stringAt(object, "send-logs");
    auto vendor = stringListAt(object, "vendor");
    auto iosSDKVersion = stringListAt(object, "ios-sdk-version");
    auto androidSDKVersion = stringListAt(object, "android-sdk-version");
    if (!logLevel || !sendLogs || !vendor || !iosSDKVersion || !androidSDKVersion) {
        return std::nullopt;
    }
    return SDKLoggingControl{std::move(*logLevel), std::move(*sendLogs), std::move(*vendor),
                             std::move(*iosSDKVersion), std::move(*androidSDKVersion)};
}

void applyLoggingControl(const SDKLoggingControl& control, const std::optional<LogChannel>& console,
                         const std::optional<FixedSite>& sendLogsSite) {
    if (control.sendLogs != LogSettings::sendLogs()) {
        LogSettings::setSendLogs(control.sendLogs);
        const std::string announcement = "Send logs is " + control.sendLogs;
        sendLogsSite ? logOnChannel(console, announcement, *sendLogsSite)
                     : logOnChannel(console, announcement);
    }
    // Stored in lower case, the level is one the log files know; any other text would stop
    // them ("Current log level undefined") until the server sent a level again.
    const std::string level = lowercased(control.logLevel);
    if (!logSeverityFromRawValue(level)) {
        logOnChannel(console, "Unknown log level \"" + control.logLevel + "\" ignored");
        return;
    }
    if (level == lowercased(LogSettings::logLevel())) {
        return;
    }
    const std::string version = sdkVersion();
    if (std::ranges::find(control.iosSDKVersion, version) != control.iosSDKVersion.end()) {
        LogSettings::setLogLevel(level);
        logOnChannel(console, "Log level parameter change to " + level);
    }
}

}  // namespace orvanpush::detail
