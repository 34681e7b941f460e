#include "utils/LoggingControl.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "orvanpush/logger/LogSeverity.h"
#include "utils/logger/log_manager/ConsoleLog.h"
#include "utils/logger/log_manager/LogSettings.h"
#include "utils/logger/log_manager/SdkVersion.h"

namespace orvanpush::detail {
namespace {

std::string lowercased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

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
