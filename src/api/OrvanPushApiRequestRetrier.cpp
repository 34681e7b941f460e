#include "api/OrvanPushApiRequestRetrier.h"

#include <utility>

namespace orvanpush::detail {

OrvanPushApiRequestRetrier::OrvanPushApiRequestRetrier(std::int64_t retries,
                                                       std::shared_ptr<LoggingUtils> loggingUtils)
    : retries_(retries), loggingUtils_(std::move(loggingUtils)) {}

bool OrvanPushApiRequestRetrier::shouldRetry(const platform::HttpOutcome& outcome) {
    if (retries_ <= 0) {
        return false;
    }
    --retries_;
    if (outcome.error || !outcome.response) {
        return true;
    }
    const long status = outcome.response->statusCode;
    return status >= 500 && status <= 600;
}

}  // namespace orvanpush::detail
