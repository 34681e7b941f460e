#include "utils/logger/log_manager/SDKLoggingControl.h"

#include <algorithm>
#include <cctype>

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

void applyLoggingControl(const SDKLoggingControl& control,
                         const std::optional<LogChannel>& console) {
    if (control.sendLogs != LogSettings::sendLogs()) {
        LogSettings::setSendLogs(control.sendLogs);
        logOnChannel(console, "Send logs is " + control.sendLogs);
    }
    if (lowercased(control.logLevel) == lowercased(LogSettings::logLevel())) {
        return;
    }
    const std::string version = sdkVersion();
    for (const auto& listed : control.iosSDKVersion) {
        if (listed == version) {
            LogSettings::setLogLevel(control.logLevel);
            logOnChannel(console, "Log level parameter change to " + control.logLevel);
        }
    }
}

}  // namespace orvanpush::detail
