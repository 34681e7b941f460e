#include "sdk/HostText.h"

#include "sdk/OperationSupport.h"
#include "utils/Utf8Text.h"

namespace orvanpush::detail {

Json repairedJson(const Json& value) {
    if (value.is_string()) {
        return repairUtf8(value.get_ref<const std::string&>());
    }
    if (value.is_array()) {
        Json repaired = Json::array();
        for (const auto& element : value) {
            repaired.push_back(repairedJson(element));
        }
        return repaired;
    }
    if (value.is_object()) {
        Json repaired = Json::object();
        for (const auto& [name, member] : value.items()) {
            repaired[repairUtf8(name)] = repairedJson(member);
        }
        return repaired;
    }
    return value;
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
