#include "RequestRecord.h"

#include "Base64.h"
#include "TextChecks.h"

namespace orvanpush::server {

void RequestRecord::check(std::string_view name, std::string_view outcome, std::string problem) {
    checks_[std::string(name)] = outcome;
    if (!problem.empty()) {
        problems_.push_back(std::move(problem));
    }
}

bool RequestRecord::checkFailed(std::string_view name) const {
    const auto found = checks_.find(std::string(name));
    return found != checks_.end() && *found != "passed" && *found != "verified";
}

void RequestRecord::setAnswer(const std::optional<Reply>& reply) {
    if (!reply) {
        status_.reset();
        return;
    }
    status_ = reply->status;
    const auto body = Json::parse(reply->body, nullptr, false);
    if (body.is_object() && body.value("result", "") == "error" && body.contains("errorCode") &&
        body["errorCode"].is_number_integer()) {
        errorCode_ = body["errorCode"].get<std::int64_t>();
    }
}

namespace {

// Credentials never reach the log: the header is kept, its value is not.
bool holdsCredentials(std::string_view headerName) {
    return equalsIgnoringCase(headerName, "Authorization") ||
           equalsIgnoringCase(headerName, "Proxy-Authorization");
}

}  // namespace

Json RequestRecord::toJson() const {
    Json headers = Json::array();
    for (const auto& [name, value] : request_.headers) {
        headers.push_back(Json::array({name, holdsCredentials(name) ? "[redacted]" : value}));
    }
    Json record = {
        {"id", id_},
        {"method", request_.method},
        {"path", request_.path},
        {"query", request_.hasQuery ? Json(request_.rawQuery) : Json()},
        {"params", params_},
        {"headers", std::move(headers)},
        {"body", isValidUtf8(request_.body) ? Json(request_.body) : Json()},
        {"bodyBase64", base64Encode(request_.body)},
        {"endpoint", endpoint_.empty() ? Json() : Json(endpoint_)},
        {"checks", checks_},
        {"problems", problems_},
        {"outcome", outcome_},
        {"status", status_ ? Json(*status_) : Json()},
        {"errorCode", errorCode_ ? Json(*errorCode_) : Json()},
        {"fault", fault_},
    };
    return record;
}

}  // namespace orvanpush::server
