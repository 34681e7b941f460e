#include "api/ContentDownloadTarget.h"

#include "api/ResultDecoding.h"

namespace orvanpush::detail {

ApiParameters ContentDownloadTarget::parameters() const {
    return getParameters(value, "/content/download",
                         {{"address", value.address},
                          {"messageId", value.messageId},
                          {"signature", value.signature}});
}

ContentDownloadResult ContentDownloadTarget::convert(const platform::HttpResponse& response) {
    return decodeContentDownloadResult(response.body, response.statusCode);
}

std::string ContentDownloadTarget::signedText(const ContentDownloadObject& object) {
    return object.address + object.messageId;
}

}  // namespace orvanpush::detail
