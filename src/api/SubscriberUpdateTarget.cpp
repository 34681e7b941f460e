#include "api/SubscriberUpdateTarget.h"

#include "api/ResultDecoding.h"

namespace orvanpush::detail {

ApiParameters SubscriberUpdateTarget::parameters() const {
    auto parameters = requestParameters(value, "/subscriber/update", "POST");
    parameters[kBodyKey] = compactJson({{"address", value.address},
                                        {"updateAddress", value.updateAddress},
                                        {"attributes", value.attributes},
                                        {"signature", value.signature}});
    return parameters;
}

BaseApiResult SubscriberUpdateTarget::convert(const platform::HttpResponse& response) {
    return decodeBaseApiResult(response.body);
}

std::string SubscriberUpdateTarget::signedText(const SubscriberUpdateObject& object) {
    std::string text = object.address + object.updateAddress;
    for (const auto& [key, attribute] : object.attributes) {
        text += key + attribute;
    }
    return text;
}

}  // namespace orvanpush::detail
