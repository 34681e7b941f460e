#include "utils/ContentConverter.h"

#include "orvanpush/platform/ForeignJson.h"

namespace orvanpush::detail {
namespace {

// The text under `key`: absent when the member is missing or null, nothing at all (the answer
// does not decode) when it holds another type.
std::optional<std::optional<std::string>> textMember(const Json& object, const char* key) {
    const auto member = object.find(key);
    if (member == object.end() || member->is_null()) {
        return std::optional<std::string>();
    }
    if (!member->is_string()) {
        return std::nullopt;
    }
    return std::optional(member->get<std::string>());
}

}  // namespace

std::optional<ExtraContentImp> ContentConverter::extraContent(const std::string& messageId,
                                                              const std::optional<Bytes>& data) {
    if (!data) {
        return std::nullopt;
    }
    const auto body = platform::ForeignJson::tryParse(*data);
    if (!body || !body->is_object()) {
        return std::nullopt;
    }
    const auto mimeType = textMember(*body, "contentType");
    const auto value = textMember(*body, "content");
    if (!mimeType || !value) {
        return std::nullopt;
    }
    ExtraContentImp content;
    content.setMimeType(*mimeType);
    content.setValue(*value);
    content.setMessageId(messageId);
    return content;
}

}  // namespace orvanpush::detail
