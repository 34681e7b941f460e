#include "api/SubscriberGetTarget.h"

#include "api/ResultDecoding.h"

namespace orvanpush::detail {

ApiParameters SubscriberGetTarget::parameters() const {
    auto parameters = requestParameters(value, "/subscriber/get", "GET");
    addQuery(parameters, "address", value.address);
    addQuery(parameters, "requestAddress", value.requestAddress);
    addQuery(parameters, "signature", value.signature);
    return parameters;
}

SubscriberGetResult SubscriberGetTarget::convert(const platform::HttpResponse& response) {
    return decodeSubscriberGetResult(response.body);
}

std::string SubscriberGetTarget::signedText(const SubscriberGetObject& object) {
    return object.address + object.requestAddress;
}

}  // namespace orvanpush::detail
