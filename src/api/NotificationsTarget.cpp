#include "api/NotificationsTarget.h"

#include "api/ResultDecoding.h"

namespace orvanpush::detail {

ApiParameters NotificationsTarget::parameters() const {
    auto parameters = requestParameters(value, "/notifications", "PUT");
    parameters[kBodyKey] = compactJson({{"address", value.address},
                                        {"messageId", value.messageId},
                                        {"status", value.status},
                                        {"signature", value.signature}});
    return parameters;
}

BaseApiResult NotificationsTarget::convert(const platform::HttpResponse& response) {
    return decodeBaseApiResult(response.body);
}

std::string NotificationsTarget::signedText(const NotificationsObject& object) {
    return object.address + object.messageId + object.status;
}

}  // namespace orvanpush::detail
