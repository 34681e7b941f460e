#include "api/Service.h"

#include "api/ApiRequestBuilder.h"
#include "api/OrvanPushApiRequestRetrier.h"
#include "api/TransportTexts.h"
#include "orvanpush/TextError.h"
#include "orvanpush/platform/PlatformConfig.h"
#include "platform/Base64.h"
#include "platform/CurlTransport.h"
#include "platform/OutstandingWork.h"

namespace orvanpush::detail {
namespace {

std::string withoutTrailingSlashes(std::string address) {
    while (address.ends_with('/')) {
        address.pop_back();
    }
    return address;
}

std::chrono::milliseconds defaultTimeoutOfProcess() {
    return platform::PlatformConfig::current()->isExtension() ? std::chrono::seconds(9)
                                                              : std::chrono::seconds(30);
}

platform::HttpHeaders sessionHeaders(const std::optional<std::string>& login,
                                     const std::optional<std::string>& password,
                                     const std::string& apiVersion) {
    platform::HttpHeaders headers{
        {"Content-Type", "application/json; charset=utf-8; version=" + apiVersion + ";"}};
    if (login && password) {
        headers.emplace_back("Authorization",
                             "Basic " + platform::base64Encode(*login + ":" + *password));
    }
    return headers;
}

// One request on its way: sent, and sent again while its retrier allows, then handed on. Each
// attempt's completion holds the request, so it lives until its final outcome is delivered.
class Attempts : public std::enable_shared_from_this<Attempts> {
  public:
    Attempts(std::shared_ptr<const platform::UrlSession> session,
             std::shared_ptr<const platform::HttpRequest> request,
             std::unique_ptr<RequestRetrier> retrier,
             std::function<void(const platform::HttpOutcome&, bool unanswered)> continuation)
        : session_(std::move(session)),
          request_(std::move(request)),
          retrier_(std::move(retrier)),
          continuation_(std::move(continuation)),
          work_(platform::OutstandingWork::begin()) {}

    void send() {
        // Every attempt is a fresh request, as each resend starts over.
        session_->dataTask(request_, [self = shared_from_this()](platform::HttpOutcome outcome) {
            self->finished(outcome);
        });
    }

  private:
    void finished(const platform::HttpOutcome& outcome) {
        // An attempt that got no answer may have been applied, whatever the later ones got.
        unanswered_ = unanswered_ || !outcome.response;
        if (retrier_->shouldRetry(outcome)) {
            send();
            return;
        }
        continuation_(outcome, unanswered_);
    }

    std::shared_ptr<const platform::UrlSession> session_;
    std::shared_ptr<const platform::HttpRequest> request_;
    std::unique_ptr<RequestRetrier> retrier_;
    std::function<void(const platform::HttpOutcome&, bool unanswered)> continuation_;
    platform::OutstandingWork::Token work_;
    bool unanswered_ = false;
};

}  // namespace

Service::Service(std::string baseAddress, std::optional<std::string> login,
                 std::optional<std::string> password, std::string apiVersion,
                 std::shared_ptr<LoggingUtils> loggingUtils)
    : baseAddress_(withoutTrailingSlashes(std::move(baseAddress))),
      apiVersion_(std::move(apiVersion)),
      loggingUtils_(std::move(loggingUtils)),
      session_(std::make_shared<const platform::UrlSession>(platform::UrlSession::Configuration{
          .httpAdditionalHeaders = detail::sessionHeaders(login, password, apiVersion_),
          .timeoutIntervalForRequest = defaultTimeoutOfProcess()})) {
    // The process's transport, with libcurl's and the TLS library's global set-up, starts on
    // the host's thread that makes the service, not on the library thread that happens to
    // send first (a report goes out from the main queue once its row is stored).
    platform::CurlTransport::shared();
}

void Service::perform(const ApiParameters& parameters, Continuation continuation) const {
    BuiltRequest built;
    try {
        built = ApiRequestBuilder::build(parameters, baseAddress_, defaultTimeout());
    } catch (const TextError& error) {
        continuation({.response = std::nullopt, .error = error.what()}, false);
        return;
    }
    auto retrier = std::make_unique<OrvanPushApiRequestRetrier>(built.retryCount, loggingUtils_);
    std::make_shared<Attempts>(
        session_, std::make_shared<const platform::HttpRequest>(std::move(built.request)),
        std::move(retrier), std::move(continuation))
        ->send();
}

std::string Service::missingDataDescription(const platform::HttpOutcome& outcome) {
    if (outcome.error) {
        return *outcome.error;
    }
    if (outcome.response) {
        return invalidResponseWithStatus(outcome.response->statusCode);
    }
    return kInvalidResponseText;
}

}  // namespace orvanpush::detail
