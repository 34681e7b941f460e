#include "api/SDKLoggingControl.h"

#include <utility>

#include "api/JsonValues.h"

namespace orvanpush::detail {
namespace {

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

}  // namespace

std::optional<SDKLoggingControl> SDKLoggingControl::fromJson(const Json& object) {
    if (!object.is_object()) {
        return std::nullopt;
    }
    auto logLevel = stringMember(object, "log-level");
    auto sendLogs = stringMember(object, "send-logs");
    auto vendor = stringListAt(object, "vendor");
    auto iosSDKVersion = stringListAt(object, "ios-sdk-version");
    auto androidSDKVersion = stringListAt(object, "android-sdk-version");
    if (!logLevel || !sendLogs || !vendor || !iosSDKVersion || !androidSDKVersion) {
        return std::nullopt;
    }
    return SDKLoggingControl{std::move(*logLevel), std::move(*sendLogs), std::move(*vendor),
                             std::move(*iosSDKVersion), std::move(*androidSDKVersion)};
}

}  // namespace orvanpush::detail
