#include "api/SubscribeTarget.h"

#include "api/ResultDecoding.h"

namespace orvanpush::detail {

ApiParameters SubscribeTarget::parameters() const {
    auto parameters = requestParameters(value, "/subscribe", "POST");
    parameters[kBodyKey] = compactJson({{"address", value.address},
                                        {"osType", "ios"},
                                        {"osVersion", value.osVersion},
                                        {"vendorInfo", value.vendorInfo},
                                        {"token", value.token},
                                        {"pubKey", value.publicKey}});
    return parameters;
}

BaseApiResult SubscribeTarget::convert(const platform::HttpResponse& response) {
    return decodeBaseApiResult(response.body);
}

}  // namespace orvanpush::detail
