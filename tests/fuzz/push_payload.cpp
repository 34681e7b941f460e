// A push payload on arbitrary bytes, as the extension takes it: parsed as foreign JSON, made the
// notification content, repaired as the receipt repairs it, and its fields read as the receipt
// reads them (the message id, and from the custom data the flags, classifier and "sentDate" the
// store keeps). Only the parser may refuse; what it takes stays within the depth limit, becomes
// the content's payload unchanged, and prints as valid UTF-8 once repaired.

#include <cstdint>
#include <string_view>

#include "FuzzSupport.h"
#include "orvanpush/NotificationContent.h"
#include "orvanpush/platform/ForeignJson.h"
#include "sdk/HostText.h"
#include "storage/CustomData.h"

using namespace orvanpush;

using fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto payload = platform::ForeignJson::tryParse(text);
    if (!payload) {
        return 0;
    }
    require(platform::ForeignJson::isWithinDepth(*payload));
    const auto content = NotificationContent::fromPayload(*payload);
    require(content.userInfo() == (payload->is_object() ? *payload : Json::object()));

    const auto shown = detail::repairedContent(content);
    // A dump that meets text that is not UTF-8 throws: the repaired content has none.
    shown.userInfo().dump();
    Json(shown.title() + shown.subtitle() + shown.body() + shown.sound().value_or("")).dump();

    const auto& userInfo = shown.userInfo();
    if (const auto id = userInfo.find("message-id"); id != userInfo.end() && id->is_string()) {
        const auto customData = userInfo.value("custom-data", Json());
        detail::CustomData::contentAvailable(customData);
        detail::CustomData::attributes(id->get<std::string>(), customData);
    }
    return 0;
}
