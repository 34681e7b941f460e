#include "storage/CustomData.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "platform/DateFormatter.h"

namespace orvanpush::detail {

std::optional<std::string> CustomData::text(const Json& customData, const char* key) {
    if (!customData.is_object()) {
        return std::nullopt;
    }
    const auto found = customData.find(key);
    if (found == customData.end() || !found->is_string()) {
        return std::nullopt;
    }
    return found->get<std::string>();
}

bool CustomData::contentAvailable(const Json& customData) {
    auto value = text(customData, "content-available");
    if (!value) {
        return false;
    }
    std::transform(value->begin(), value->end(), value->begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return value->find("true") != std::string::npos;
}

MessageAttributesImp CustomData::attributes(const std::string& id, const Json& customData) {
    MessageAttributesImp attributes;
    attributes.setClassifierdId(int16(text(customData, "classifierId").value_or("")));
    attributes.setClassifierName(text(customData, "classifier"));
    attributes.setIsImportant(int16(text(customData, "isImportant").value_or("")));
    if (const auto sent = text(customData, "sentDate")) {
        attributes.setMessageDate(sentDate(*sent));
    }
    attributes.setMessageId(id);
    return attributes;
}

std::int16_t CustomData::int16(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);  // from_chars takes a minus sign only
        if (!text.empty() && text.front() == '-') {
            return 0;
        }
    }
    std::int16_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return 0;
    }
    return value;
}

// Parsed and printed back: a date that does not print as the text it came from (a rolled-over
// day, a missing leading zero) is refused.
std::optional<Date> CustomData::sentDate(const std::string& text) {
    static const platform::DateFormatter formatter("yyyy-MM-dd'T'HH:mm:ss", "GMT", "en_US_POSIX");
    const auto parsed = formatter.date(text);
    if (!parsed || formatter.string(*parsed) != text) {
        return std::nullopt;
    }
    return parsed;
}

}  // namespace orvanpush::detail
