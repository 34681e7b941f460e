#include "Exchange.h"

#include "TextChecks.h"

namespace orvanpush::server {

std::string compactText(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::vector<std::string> IncomingRequest::headerValues(std::string_view name) const {
    std::vector<std::string> values;
    for (const auto& [headerName, value] : headers) {
        if (equalsIgnoringCase(headerName, name)) {
            values.push_back(value);
        }
    }
    return values;
}

}  // namespace orvanpush::server
