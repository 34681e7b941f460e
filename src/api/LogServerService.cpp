#include "api/LogServerService.h"

#include <exception>
#include <memory>
#include <utility>

#include "api/AnyTarget.h"
#include "api/ApiRequestBuilder.h"
#include "api/MultipartFormData.h"
#include "api/Service.h"
#include "platform/CurlTransport.h"
#include "platform/OutstandingWork.h"

namespace orvanpush::detail {
namespace {

constexpr std::chrono::milliseconds kRequestTimeout = std::chrono::seconds(60);

std::string withoutTrailingSlashes(std::string address) {
    while (address.ends_with('/')) {
        address.pop_back();
    }
    return address;
}

}  // namespace

LogServerService::LogServerService(std::string baseAddress)
    : baseAddress_(withoutTrailingSlashes(std::move(baseAddress))),
      session_{.httpAdditionalHeaders = {},
               .timeoutIntervalForRequest = defaultTimeout(),
               .connectAndIdleTimeout = defaultTimeout()} {}

platform::HttpRequest LogServerService::request(const ApiParameters& parameters,
                                                const std::string& baseAddress) {
    auto built = ApiRequestBuilder::build(parameters, baseAddress, defaultTimeout());
    if (!parameters.contains(kTimeoutKey)) {
        built.request.timeout = kRequestTimeout;
    }
    auto body = MultipartFormData::build(parameters);
    built.request.headers =
        platform::mergeHeaders(built.request.headers, {{"Content-Type", body.contentType()}});
    built.request.body = std::move(body.bytes);
    return std::move(built.request);
}

void LogServerService::send(const UploadLogsTarget& target, Completion postCompleted) const {
    AnyTarget<UploadLogsResult> upload{.parameters = target.parameters(),
                                       .responseConverter = &UploadLogsTarget::convert,
                                       .errorProcessor = [](const std::string& description) {
                                           return UploadLogsResult::failure(description);
                                       }};
    auto finish = [upload, postCompleted = std::move(postCompleted),
                   work =
                       platform::OutstandingWork::begin()](const platform::HttpOutcome& outcome) {
        postCompleted(Service::resultOf(upload, outcome));
    };
    std::shared_ptr<const platform::HttpRequest> built;
    try {
        built =
            std::make_shared<const platform::HttpRequest>(request(upload.parameters, baseAddress_));
    } catch (const std::exception& error) {
        platform::CurlTransport::shared().complete(
            {.response = std::nullopt, .error = error.what()}, std::move(finish));
        return;
    }
    platform::UrlSession(session_).dataTask(std::move(built), std::move(finish));
}

}  // namespace orvanpush::detail
