#include "api/ApiTarget.h"

namespace orvanpush::detail {

std::string compactJson(const Json& members) {
    return members.dump(-1, ' ', false, Json::error_handler_t::replace);
}

void addQuery(ApiParameters& parameters, const std::string& name, const std::string& value) {
    parameters[kQueryPrefix + name] = value;
}

}  // namespace orvanpush::detail
