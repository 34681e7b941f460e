#pragma once

// HTTP(S) requests, the way the library's clients make them: a session describes the headers
// and the timeout every one of its requests gets; each data task is a fresh request sent over
// the process's one shared connection cache, and its completion runs on the callback pool (never
// on the calling thread, never on the thread that drives the transfers at that moment).
//
//   UrlSession session({.httpAdditionalHeaders = {{"Content-Type", "application/json"}},
//                       .timeoutIntervalForRequest = std::chrono::seconds(30)});
//   auto request = std::make_shared<HttpRequest>();
//   request->url = "https://push.example.com/subscribe";
//   request->method = "POST";
//   request->body = Bytes{'{', '}'};
//   session.dataTask(request, [](HttpOutcome outcome) { /* on the callback pool */ });
//
// Only http and https are spoken; redirects are answers, not followed; no cookies, no cache, no
// "Expect: 100-continue". TLS peers are verified against the system store or PlatformConfig's CA
// file. Proxy variables are honoured. An answer body longer than PlatformConfig's
// maxResponseBytes (8 MiB unless $ORVANPUSH_MAX_RESPONSE_BYTES says otherwise) is not kept: its
// transfer stops as soon as the limit is passed (at once when its announced length is beyond
// it), and the task completes once with the error kResponseTooLargeText.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "orvanpush/Types.h"

namespace orvanpush::platform {

/// Header fields (name, value); an empty value is sent as an empty header.
using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest {
    std::string url{};
    /// A token: "GET", "POST", "PUT", "DELETE"...
    std::string method = "GET";
    /// Sent over the session's headers of the same name (names compare without case).
    HttpHeaders headers{};
    /// The body; absent for none.
    std::optional<Bytes> body{};
    /// The time the whole exchange may take; the session's when absent. A value that is not
    /// positive means the session's; a very large one is clamped to kLongestTimeout.
    std::optional<std::chrono::milliseconds> timeout{};
};

struct HttpResponse {
    long statusCode = 0;
    /// The body as received; empty when there was none.
    Bytes body{};
};

/// What one request came to: a response, or the description of why there is none.
struct HttpOutcome {
    std::optional<HttpResponse> response{};
    std::optional<std::string> error{};
};

/// The error of an answer whose body is longer than the configured limit.
inline constexpr const char* kResponseTooLargeText = "response too large";

/// The longest time a request may take (one day); longer timeouts are clamped to it.
inline constexpr std::chrono::milliseconds kLongestTimeout = std::chrono::hours(24);

/// True for an HTTP token (a header name or method): letters, digits and !#$%&'*+-.^_`|~.
bool isHttpToken(std::string_view text);
/// True for a header value that cannot split the header: no CR, LF or NUL.
bool isHeaderValue(std::string_view text);

/// `session` with `request` laid over it: an entry of `request` replaces every entry of
/// `session` with the same name in any letter case (and a later request entry an earlier one).
HttpHeaders mergeHeaders(const HttpHeaders& session, const HttpHeaders& request);

class UrlSession {
  public:
    struct Configuration {
        /// Sent with every request of the session, unless the request has its own of that name.
        HttpHeaders httpAdditionalHeaders{};
        /// The timeout of a request that gives none.
        std::chrono::milliseconds timeoutIntervalForRequest = std::chrono::seconds(60);
        /// When present, a request also fails once connecting, or a silence of the connection
        /// (nothing sent or received), lasts this long; counted in whole seconds, at least one.
        std::optional<std::chrono::milliseconds> connectAndIdleTimeout{};
    };

    /// Called exactly once per task, on the callback pool, with a response (any status) or an
    /// error: an invalid method or header, a refused scheme, a network failure, a timeout, an
    /// answer too large.
    /// Only a process that is exiting drops completions still outstanding.
    using Completion = std::function<void(HttpOutcome)>;

    explicit UrlSession(Configuration configuration);

    /// What every request of the session gets.
    const Configuration& configuration() const { return configuration_; }

    /// Sends `request` and returns at once.
    void dataTask(std::shared_ptr<const HttpRequest> request, Completion completion) const;

  private:
    Configuration configuration_;
};

}  // namespace orvanpush::platform
