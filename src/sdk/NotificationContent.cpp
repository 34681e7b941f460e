#include "orvanpush/NotificationContent.h"

#include "orvanpush/platform/ForeignJson.h"

namespace orvanpush {
namespace {

std::string textOf(const Json& object, const char* name) {
    const auto found = object.find(name);
    return found != object.end() && found->is_string() ? found->get<std::string>() : "";
}

std::optional<std::string> soundOf(const Json& aps) {
    const auto sound = aps.find("sound");
    if (sound == aps.end()) {
        return std::nullopt;
    }
    // A critical alert names its sound inside an object.
    const Json& name = sound->is_object() ? sound->value("name", Json()) : *sound;
    if (!name.is_string() || name.get_ref<const std::string&>().empty()) {
        return std::nullopt;
    }
    return name.get<std::string>();
}

// A payload the content can hold: copies of the payload recurse as deep as it nests.
bool isUsable(const Json& payload) {
    return payload.is_object() && platform::ForeignJson::isWithinDepth(payload);
}

}  // namespace

NotificationContent NotificationContent::fromPayload(const Json& payload) {
    return isUsable(payload) ? fromPayload(Json(payload)) : NotificationContent();
}

NotificationContent NotificationContent::fromPayload(Json&& payload) {
    NotificationContent content;
    if (!isUsable(payload)) {
        return content;
    }
    content.userInfo_ = std::move(payload);
    const Json& userInfo = content.userInfo_;
    const auto aps = userInfo.find("aps");
    if (aps == userInfo.end() || !aps->is_object()) {
        return content;
    }
    if (const auto alert = aps->find("alert"); alert != aps->end()) {
        if (alert->is_string()) {
            content.body_ = alert->get<std::string>();
        } else if (alert->is_object()) {
            content.title_ = textOf(*alert, "title");
            content.subtitle_ = textOf(*alert, "subtitle");
            content.body_ = textOf(*alert, "body");
        }
    }
    content.sound_ = soundOf(*aps);
    return content;
}

}  // namespace orvanpush
