#pragma once

// Whether a request is sent again. One retrier travels with each request through its resends.

#include <cstdint>
#include <memory>

#include "platform/UrlSession.h"

namespace orvanpush::detail {

// The instance's log files and upload, which sit above the client and are only held here.
class LoggingUtils;

class RequestRetrier {
  public:
    virtual ~RequestRetrier() = default;
    /// Consulted with each attempt's outcome; true when the request is to be sent again now.
    virtual bool shouldRetry(const platform::HttpOutcome& outcome) = 0;
};

class OrvanPushApiRequestRetrier : public RequestRetrier {
  public:
    OrvanPushApiRequestRetrier(std::int64_t retries, std::shared_ptr<LoggingUtils> loggingUtils);

    /// While resends remain, uses one up, and answers true when there was no response (a
    /// network error, a timeout) or its status was 500 to 600 inclusive.
    bool shouldRetry(const platform::HttpOutcome& outcome) override;

    /// The resends still allowed.
    std::int64_t retries() const { return retries_; }
    /// The instance's log files and upload.
    const std::shared_ptr<LoggingUtils>& loggingUtils() const { return loggingUtils_; }

  private:
    std::int64_t retries_;
    std::shared_ptr<LoggingUtils> loggingUtils_;
};

}  // namespace orvanpush::detail
