#include "api/UnsubscribeTarget.h"

#include "api/ResultDecoding.h"

namespace orvanpush::detail {

ApiParameters UnsubscribeTarget::parameters() const {
    auto parameters = requestParameters(value, "/unsubscribe", "DELETE");
    Json body = {
        {"address", value.address}, {"token", value.token}, {"signature", value.signature}};
    if (value.note) {
        body["note"] = *value.note;
    }
    parameters[kBodyKey] = compactJson(body);
    return parameters;
}

BaseApiResult UnsubscribeTarget::convert(const platform::HttpResponse& response) {
    return decodeBaseApiResult(response.body);
}

std::string UnsubscribeTarget::signedText(const UnsubscribeObject& object) {
    return object.address + object.token + object.note.value_or("");
}

}  // namespace orvanpush::detail
