#include "sdk/HostText.h"

#include <string>

#include "orvanpush/TextError.h"
#include "orvanpush/platform/ForeignJson.h"
#include "sdk/OperationSupport.h"
#include "text/Utf8Text.h"

namespace orvanpush::detail {
namespace {

// `value`, which lies `depth` levels deep in what is repaired: the recursion ends at the limit.
Json repairedJson(const Json& value, std::size_t depth) {
    if (value.is_string()) {
        return repairUtf8(value.get_ref<const std::string&>());
    }
    if (!value.is_structured()) {
        return value;
    }
    if (depth >= platform::ForeignJson::kMaxDepth) {
        throw TextError("JSON nests deeper than the limit of " +
                        std::to_string(platform::ForeignJson::kMaxDepth) + " levels");
    }
    if (value.is_array()) {
        Json repaired = Json::array();
        for (const auto& element : value) {
            repaired.push_back(repairedJson(element, depth + 1));
        }
        return repaired;
    }
    Json repaired = Json::object();
    for (const auto& [name, member] : value.items()) {
        repaired[repairUtf8(name)] = repairedJson(member, depth + 1);
    }
    return repaired;
}

}  // namespace

Json repairedJson(const Json& value) {
    return repairedJson(value, 0);
}

MutableNotificationContent repairedContent(const NotificationContent& content) {
    MutableNotificationContent result;
    result.setTitle(repairUtf8(content.title()));
    result.setSubtitle(repairUtf8(content.subtitle()));
    result.setBody(repairUtf8(content.body()));
    result.setUserInfo(repairedJson(content.userInfo()));
    result.setSound(repaired(content.sound()));
    return result;
}

}  // namespace orvanpush::detail
