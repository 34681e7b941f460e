#pragma once

// GET "/statistics": the history of messages sent to a subscriber, signed over the query values
// in their order (dates as the query writes them).

#include <cstdint>
#include <optional>
#include <string>

#include "api/ApiTarget.h"
#include "orvanpush/StatisticsResult.h"
#include "platform/UrlSession.h"

namespace orvanpush::detail {

struct StatisticsObject {
    RequestHeaders headers{};
    int retryCount = 0;
    std::optional<double> requestTimeout{};
    std::string address{};
    std::string requestAddress{};
    std::optional<std::string> requestId{};
    std::int64_t amount = 0;
    Date dateFrom{};
    std::optional<Date> dateTo{};
    std::string signature{};
};

struct StatisticsTarget {
    using Result = StatisticsResult;

    StatisticsObject value;

    /// Query: "address", "requestAddress", "requestId" (when present), "amount", "dateFrom",
    /// "dateTo" (when present), "signature"; dates by apiDateFormatter().
    ApiParameters parameters() const;
    static Result convert(const platform::HttpResponse& response);
    /// The signed text: address, requestAddress, requestId, amount, dateFrom, dateTo.
    static std::string signedText(const StatisticsObject& object);
};

}  // namespace orvanpush::detail
