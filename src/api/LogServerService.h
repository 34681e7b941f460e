#pragma once

// The log server's client: posts an upload's multipart form below the log server's base
// address and hands the decoded answer on.
//
//   LogServerService service("https://logs.example.com:443/logs");
//   service.send(UploadLogsTarget{object}, [](UploadLogsResult result) {
//       // on the URL session's callback pool
//   });
//
// Unlike the push server's client it sends no session headers (no credentials, no JSON
// content type) and never resends.

#include <chrono>
#include <functional>
#include <string>

#include "api/ApiParameters.h"
#include "api/UploadLogsTarget.h"
#include "platform/UrlSession.h"

namespace orvanpush::detail {

class LogServerService {
  public:
    using Completion = std::function<void(UploadLogsResult)>;

    /// Every trailing "/" of `baseAddress` is removed.
    explicit LogServerService(std::string baseAddress);

    const std::string& baseAddress() const { return baseAddress_; }
    /// The limit on connecting, and on any silence of the connection: 30 seconds.
    static constexpr std::chrono::milliseconds defaultTimeout() { return std::chrono::seconds(30); }

    /// The request `parameters` describe below `baseAddress`, with its multipart body and the
    /// "Content-Type" naming its boundary (over any of the parameters' headers). The whole
    /// exchange may take 60 seconds, or the "timeout" entry's seconds (30 when it does not
    /// parse). Throws TextError as ApiRequestBuilder and MultipartFormData do.
    static platform::HttpRequest request(const ApiParameters& parameters,
                                         const std::string& baseAddress);

    /// Sends the upload `target` describes. `postCompleted` runs exactly once, on the callback
    /// pool (never on the calling thread), with the decoded answer or a failure: the request
    /// could not be built (nothing is sent then), the transport failed, the answer had no
    /// body (`Invalid response with status "NNN"`) or was not a JSON object. The upload counts
    /// as outstanding work until `postCompleted` has returned.
    void send(const UploadLogsTarget& target, Completion postCompleted) const;

  private:
    std::string baseAddress_;
    platform::UrlSession::Configuration session_;
};

}  // namespace orvanpush::detail
