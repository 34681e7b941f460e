#include "api/ResultDecoding.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "api/JsonValues.h"
#include "api/TransportTexts.h"
#include "orvanpush/TextError.h"
#include "orvanpush/platform/ForeignJson.h"

namespace orvanpush::detail {
namespace {

// What an answer object says, before it becomes a record of a given type.
struct Verdict {
    ResultKind kind;
    std::int64_t code;
    std::optional<std::string> description;

    template <typename R>
    R as() const {
        return R(kind, code, description);
    }
};

Verdict unusable(std::string description) {
    return {ResultKind::error, kUnusableAnswerCode, std::move(description)};
}

// An object whose "result" is the string `result` and is not "success".
Verdict errorVerdict(const Json& object, const std::string& result) {
    if (result != "error") {
        return unusable(kUnknownResultPrefix + result + "\"");
    }
    auto code = object.contains("errorCode") ? integralValue(object.at("errorCode")) : std::nullopt;
    if (!code) {
        return unusable(kCodeMissingText);
    }
    return {ResultKind::error, *code, stringMember(object, "errorDescription")};
}

// The record of an answer object for operations whose success answer is a list.
Verdict listErrorVerdict(const Json& object) {
    auto result = stringMember(object, "result");
    if (!result) {
        return unusable(kListResultMissingText);
    }
    return errorVerdict(object, *result);
}

std::optional<std::string> optionalString(const Json& object, const char* key, bool& valid) {
    auto found = object.find(key);
    if (found == object.end() || found->is_null()) {
        return std::nullopt;
    }
    if (!found->is_string()) {
        valid = false;
        return std::nullopt;
    }
    return found->get<std::string>();
}

std::optional<MessageElement> messageElement(const Json& item) {
    if (!item.is_object() || !item.contains("date")) {
        return std::nullopt;
    }
    auto messageId = stringMember(item, "messageId");
    auto date = referenceDateValue(item.at("date"));
    bool valid = true;
    auto title = optionalString(item, "title", valid);
    auto text = optionalString(item, "text", valid);
    if (!messageId || !date || !valid) {
        return std::nullopt;
    }
    return MessageElement(std::move(*messageId), *date, std::move(title), std::move(text));
}

std::optional<SubscriberDataElement::Attributes> attributes(const Json& item, bool& valid) {
    auto found = item.find("attributes");
    if (found == item.end() || found->is_null()) {
        return std::nullopt;
    }
    if (!found->is_object()) {
        valid = false;
        return std::nullopt;
    }
    SubscriberDataElement::Attributes result;
    for (const auto& [key, value] : found->items()) {
        if (value.is_null()) {
            result.emplace(key, std::nullopt);
        } else if (value.is_string()) {
            result.emplace(key, value.get<std::string>());
        } else {
            valid = false;
            return std::nullopt;
        }
    }
    return result;
}

std::optional<SubscriberDataElement> subscriberDataElement(const Json& item) {
    if (!item.is_object()) {
        return std::nullopt;
    }
    auto address = stringMember(item, "address");
    bool valid = true;
    auto osType = optionalString(item, "osType", valid);
    auto osVersion = optionalString(item, "osVersion", valid);
    auto attributeMap = attributes(item, valid);
    if (!address || !valid) {
        return std::nullopt;
    }
    return SubscriberDataElement(std::move(*address), std::move(osType), std::move(osVersion),
                                 std::move(attributeMap));
}

// Every item of an array decoded, or nothing when the body is not such an array.
template <typename Element, typename Decode>
std::optional<std::vector<Element>> elements(const std::optional<Json>& json, Decode decode) {
    if (!json || !json->is_array()) {
        return std::nullopt;
    }
    std::vector<Element> list;
    list.reserve(json->size());
    for (const auto& item : *json) {
        auto element = decode(item);
        if (!element) {
            return std::nullopt;
        }
        list.push_back(std::move(*element));
    }
    return list;
}

template <typename R, typename Element, typename Decode>
R decodeList(const Bytes& body, Decode decode) {
    auto json = platform::ForeignJson::tryParse(body);
    if (auto list = elements<Element>(json, decode)) {
        return R(ResultKind::success, 0, std::nullopt, std::move(*list));
    }
    if (!json || !json->is_object()) {
        throw TextError("The answer is neither a list nor a JSON object");
    }
    return listErrorVerdict(*json).as<R>();
}

bool isSuccessStatus(long statusCode) {
    return statusCode >= 200 && statusCode < 300;
}

}  // namespace

Json parseObject(const Bytes& body) {
    auto json = platform::ForeignJson::tryParse(body);
    if (!json) {
        throw TextError("The answer is not valid JSON");
    }
    if (!json->is_object()) {
        throw TextError("The answer is not a JSON object");
    }
    return std::move(*json);
}

BaseApiResult decodeBaseApiResult(const Bytes& body) {
    const Json object = parseObject(body);
    auto result = stringMember(object, "result");
    if (!result) {
        return unusable(kResultMissingText).as<BaseApiResult>();
    }
    if (*result == "success") {
        return BaseApiResult(ResultKind::success, 0);
    }
    return errorVerdict(object, *result).as<BaseApiResult>();
}

StatisticsResult decodeStatisticsResult(const Bytes& body) {
    return decodeList<StatisticsResult, MessageElement>(body, messageElement);
}

SubscriberGetResult decodeSubscriberGetResult(const Bytes& body) {
    return decodeList<SubscriberGetResult, SubscriberDataElement>(body, subscriberDataElement);
}

ContentDownloadResult decodeContentDownloadResult(const Bytes& body, long statusCode) {
    auto json = platform::ForeignJson::tryParse(body);
    if (json && json->is_object()) {
        if (auto result = stringMember(*json, "result")) {
            return errorVerdict(*json, *result).as<ContentDownloadResult>();
        }
    }
    if (!isSuccessStatus(statusCode)) {
        throw TextError(invalidResponseWithStatus(statusCode));
    }
    return ContentDownloadResult(ResultKind::success, 0, std::nullopt, body);
}

}  // namespace orvanpush::detail
