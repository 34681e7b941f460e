#include "utils/ContentConverter.h"

namespace orvanpush::detail {
namespace {

std::optional<std::string> textMember(const Json& object, const char* key) {
    const auto member = object.find(key);
    if (member == object.end() || !member->is_string()) {
        return std::nullopt;
    }
    return member->get<std::string>();
}

}  // namespace

std::optional<ExtraContentImp> ContentConverter::extraContent(const std::string& messageId,
                                                              const std::optional<Bytes>& data) {
    if (!data) {
        return std::nullopt;
    }
    const Json body = Json::parse(data->begin(), data->end(), nullptr, false);
    if (!body.is_object()) {
        return std::nullopt;  // also what a parse error gives (a discarded value)
    }
    ExtraContentImp content;
    content.setMimeType(textMember(body, "contentType"));
    content.setValue(textMember(body, "content"));
    content.setMessageId(messageId);
    return content;
}

}  // namespace orvanpush::detail
