#include "orvanpush/NotificationContent.h"

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

}  // namespace

NotificationContent NotificationContent::fromPayload(const Json& payload) {
    NotificationContent content;
    if (!payload.is_object()) {
        return content;
    }
    content.userInfo_ = payload;
    const auto aps = payload.find("aps");
    if (aps == payload.end() || !aps->is_object()) {
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
