#pragma once

// The push-server client of one instance. An endpoint's target describes a request; the service
// sends it below the instance's base address with the session headers, sends it again at once on
// a server error (5xx) or a missing response while its retry count lasts, and hands the decoded
// result record to the completion:
//
//   service.send(SubscriberGetTarget{object}, [](SubscriberGetResult result) {
//       // on the URL session's callback pool
//   });
//
// The completion is called exactly once. A request that cannot be built (no path or method, an
// invalid base address or URL, an invalid header) completes with code 600 on the calling thread
// before anything is sent; every other outcome completes on the callback pool. Each request and
// its resends count as outstanding work and keep what they use alive, so the instance may be
// dropped while they run.
//
// Timeouts: a request's "timeout" (or the default: 9 s in an extension, 30 s elsewhere) bounds
// each attempt as a whole; a timeout that is not a finite positive number means the default, and
// one beyond a day is clamped to a day. With the retry count of 3 every operation uses, a request
// whose attempts all time out completes after at most four times its timeout (2 minutes with the
// application's default, 36 s in an extension).

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include "api/AnyTarget.h"
#include "platform/UrlSession.h"

namespace orvanpush::detail {

// The instance's log files and upload, which sit above the client and are only held here.
class LoggingUtils;

class Service {
  public:
    /// Every trailing "/" of `baseAddress` is removed. "Authorization" is sent only when both
    /// `login` and `password` are present.
    Service(std::string baseAddress, std::optional<std::string> login,
            std::optional<std::string> password, std::string apiVersion,
            std::shared_ptr<LoggingUtils> loggingUtils);

    /// Sends the request `target` describes; `postCompleted` receives its result record.
    template <typename R>
    void send(AnyTarget<R> target,
              std::function<void(std::type_identity_t<R>)> postCompleted) const {
        auto shared = std::make_shared<const AnyTarget<R>>(std::move(target));
        perform(shared->parameters, [shared, postCompleted = std::move(postCompleted)](
                                        const platform::HttpOutcome& outcome, bool) {
            postCompleted(resultOf(*shared, outcome));
        });
    }

    /// The same, telling `postCompleted` too whether an attempt went out and no HTTP answer came
    /// back (it timed out or failed in transport), whatever the later attempts got: whether the
    /// server applied the request is then unknown.
    template <typename Target>
    void sendNotingUnanswered(
        const Target& target,
        std::function<void(typename Target::Result, bool unanswered)> postCompleted) const {
        auto shared = std::make_shared<const AnyTarget<typename Target::Result>>(
            AnyTarget<typename Target::Result>::from(target));
        perform(shared->parameters, [shared, postCompleted = std::move(postCompleted)](
                                        const platform::HttpOutcome& outcome, bool unanswered) {
            postCompleted(resultOf(*shared, outcome), unanswered);
        });
    }

    /// The same for an endpoint's target (SubscribeTarget, StatisticsTarget...).
    template <typename Target>
    void send(const Target& target,
              std::function<void(typename Target::Result)> postCompleted) const {
        send(AnyTarget<typename Target::Result>::from(target), std::move(postCompleted));
    }

    const std::string& baseAddress() const { return baseAddress_; }
    const std::string& apiVersion() const { return apiVersion_; }
    const std::shared_ptr<LoggingUtils>& loggingUtils() const { return loggingUtils_; }
    /// "Content-Type" (with the API version), and "Authorization" when there are credentials.
    const platform::HttpHeaders& sessionHeaders() const {
        return session_->configuration().httpAdditionalHeaders;
    }
    /// 9 seconds in an extension, 30 elsewhere.
    std::chrono::milliseconds defaultTimeout() const {
        return session_->configuration().timeoutIntervalForRequest;
    }

    /// The record of a request's final outcome: a body (any status) is converted; otherwise the
    /// error, `Invalid response with status "NNN"` or "Invalid response" makes a code-600 record.
    template <typename R>
    static R resultOf(const AnyTarget<R>& target, const platform::HttpOutcome& outcome) {
        if (outcome.response && !outcome.response->body.empty()) {
            return target.convert(*outcome.response);
        }
        return target.errorProcessor(missingDataDescription(outcome));
    }

  private:
    /// Receives the final outcome and whether an attempt went out without an HTTP answer.
    using Continuation = std::function<void(const platform::HttpOutcome&, bool unanswered)>;

    void perform(const ApiParameters& parameters, Continuation continuation) const;
    static std::string missingDataDescription(const platform::HttpOutcome& outcome);

    std::string baseAddress_;
    std::string apiVersion_;
    std::shared_ptr<LoggingUtils> loggingUtils_;
    std::shared_ptr<const platform::UrlSession> session_;
};

}  // namespace orvanpush::detail
