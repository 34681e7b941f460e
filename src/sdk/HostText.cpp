#include "sdk/HostText.h"

#include "utils/Utf8Text.h"

namespace orvanpush::detail {

std::optional<std::string> repairedText(const std::optional<std::string>& text) {
    return text ? std::optional<std::string>(repairUtf8(*text)) : std::nullopt;
}

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
    MutableNotificationContent repaired;
    repaired.setTitle(repairUtf8(content.title()));
    repaired.setSubtitle(repairUtf8(content.subtitle()));
    repaired.setBody(repairUtf8(content.body()));
    repaired.setUserInfo(repairedJson(content.userInfo()));
    repaired.setSound(repairedText(content.sound()));
    return repaired;
}

}  // namespace orvanpush::detail
