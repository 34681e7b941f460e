#include "api/ContentDownloadTarget.h"

#include "api/ResultDecoding.h"

namespace orvanpush::detail {

ApiParameters ContentDownloadTarget::parameters() const {
    auto parameters = requestParameters(value, "/content/download", "GET");
    addQuery(parameters, "address", value.address);
    addQuery(parameters, "messageId", value.messageId);
    addQuery(parameters, "signature", value.signature);
    return parameters;
}

ContentDownloadResult ContentDownloadTarget::convert(const platform::HttpResponse& response) {
    return decodeContentDownloadResult(response.body, response.statusCode);
}

std::string ContentDownloadTarget::signedText(const ContentDownloadObject& object) {
    return object.address + object.messageId;
}

}  // namespace orvanpush::detail
