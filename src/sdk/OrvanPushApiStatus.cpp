#include "orvanpush/OrvanPushApiStatus.h"

namespace orvanpush {

std::string toString(OrvanPushApiStatus status) {
    return status == OrvanPushApiStatus::delivered ? "Delivered" : "Read";
}

std::optional<OrvanPushApiStatus> orvanPushApiStatusFromRawValue(std::string_view rawValue) {
    for (auto status : {OrvanPushApiStatus::delivered, OrvanPushApiStatus::read}) {
        if (toString(status) == rawValue) {
            return status;
        }
    }
    return std::nullopt;
}

std::string toString(ApiMethods method) {
    switch (method) {
        case ApiMethods::subscribe:
            return "subscribe";
        case ApiMethods::unsubscribe:
            return "unsubscribe";
        case ApiMethods::notifications:
            return "notifications";
        case ApiMethods::updateSubscriber:
            return "subscriber/update";
        case ApiMethods::downloadContent:
            return "content/download";
        case ApiMethods::getSubscriberData:
            return "subscriber/get";
        case ApiMethods::statistics:
            return "statistics";
    }
    return "statistics";
}

}  // namespace orvanpush
