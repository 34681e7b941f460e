#include "api/StatisticsTarget.h"

#include "api/ApiDateFormatter.h"
#include "api/ResultDecoding.h"

namespace orvanpush::detail {

ApiParameters StatisticsTarget::parameters() const {
    auto parameters = requestParameters(value, "/statistics", "GET");
    addQuery(parameters, "address", value.address);
    addQuery(parameters, "requestAddress", value.requestAddress);
    if (value.requestId) {
        addQuery(parameters, "requestId", *value.requestId);
    }
    addQuery(parameters, "amount", std::to_string(value.amount));
    addQuery(parameters, "dateFrom", apiDateFormatter().string(value.dateFrom));
    if (value.dateTo) {
        addQuery(parameters, "dateTo", apiDateFormatter().string(*value.dateTo));
    }
    addQuery(parameters, "signature", value.signature);
    return parameters;
}

StatisticsResult StatisticsTarget::convert(const platform::HttpResponse& response) {
    return decodeStatisticsResult(response.body);
}

std::string StatisticsTarget::signedText(const StatisticsObject& object) {
    std::string text = object.address + object.requestAddress + object.requestId.value_or("") +
                       std::to_string(object.amount) + apiDateFormatter().string(object.dateFrom);
    if (object.dateTo) {
        text += apiDateFormatter().string(*object.dateTo);
    }
    return text;
}

}  // namespace orvanpush::detail
