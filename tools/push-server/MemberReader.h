#pragma once

// Reads an endpoint's members from where they travel: a compact JSON object in the body, or the
// double-encoded query. Either way the result is one JSON object of the members received, or the
// first reason the request does not carry exactly the members it must.

#include <string>
#include <string_view>

#include "Exchange.h"
#include "PushEndpoint.h"

namespace orvanpush::server {

struct Members {
    Json values = Json::object();
    /// For query endpoints: each parameter decoded twice, for the request log.
    Json params;
    /// Empty when the request carries exactly the endpoint's members.
    std::string problem;
};

Members readMembers(const PushEndpoint& endpoint, const IncomingRequest& request);

/// True when a JSON text has no whitespace outside its strings.
bool isCompactJson(std::string_view text);

}  // namespace orvanpush::server
