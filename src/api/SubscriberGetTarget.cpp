#include "api/SubscriberGetTarget.h"

#include "api/ResultDecoding.h"

namespace orvanpush::detail {

ApiParameters SubscriberGetTarget::parameters() const {
    return getParameters(value, "/subscriber/get",
                         {{"address", value.address},
                          {"requestAddress", value.requestAddress},
                          {"signature", value.signature}});
}

SubscriberGetResult SubscriberGetTarget::convert(const platform::HttpResponse& response) {
    return decodeSubscriberGetResult(response.body);
}

std::string SubscriberGetTarget::signedText(const SubscriberGetObject& object) {
    return object.address + object.requestAddress;
}

}  // namespace orvanpush::detail
