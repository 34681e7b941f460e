#include "orvanpush/OrvanPushSDKError.h"

#include <utility>

#include "sdk/PrintedText.h"

namespace orvanpush {

OrvanPushSDKError::OrvanPushSDKError(Kind kind, std::string payload)
    : kind_(kind),
      payload_(std::move(payload)),
      description_(toString(kind) + "(" + detail::printedString(payload_) + ")") {}

OrvanPushSDKError OrvanPushSDKError::settingNotFound(std::string key) {
    return {Kind::settingNotFound, std::move(key)};
}

OrvanPushSDKError OrvanPushSDKError::invalidParameter(std::string name) {
    return {Kind::invalidParameter, std::move(name)};
}

OrvanPushSDKError OrvanPushSDKError::emptyMandatoryParameter(std::string name) {
    return {Kind::emptyMandatoryParameter, std::move(name)};
}

OrvanPushSDKError OrvanPushSDKError::invalidUrl(std::string text) {
    return {Kind::invalidUrl, std::move(text)};
}

std::string toString(OrvanPushSDKError::Kind kind) {
    using Kind = OrvanPushSDKError::Kind;
    switch (kind) {
        case Kind::settingNotFound:
            return "settingNotFound";
        case Kind::invalidParameter:
            return "invalidParameter";
        case Kind::emptyMandatoryParameter:
            return "emptyMandatoryParameter";
        case Kind::invalidUrl:
            return "invalidUrl";
    }
    return "invalidUrl";
}

}  // namespace orvanpush
