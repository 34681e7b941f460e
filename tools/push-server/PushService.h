#pragma once

// The push server's side of the seven endpoints: every check a request must pass, in order
// (credentials, content type, request id, "push-enabled", members, subscriber and signature),
// each outcome written to the request's record, and the answer.

#include <string>
#include <string_view>

#include "Exchange.h"
#include "PushEndpoint.h"
#include "RequestRecord.h"
#include "ServerState.h"

namespace orvanpush::server {

struct PushSettings {
    std::string context;  // the path below which the endpoints live, without surrounding "/"
    std::string login;
    std::string password;
    std::string apiVersion;
};

class PushService {
  public:
    explicit PushService(PushSettings settings);

    /// The endpoint served at `path`, or nullptr.
    const PushEndpoint* endpointAt(std::string_view path) const;
    /// The path of an endpoint: "/" + context + "/" + name.
    std::string pathOf(const PushEndpoint& endpoint) const;

    /// Checks `request`, recording each outcome, and answers it: with the first failed check's
    /// error envelope, or with what the endpoint does. Only with `apply` does a request that
    /// passes every check change `state`.
    Reply handle(const PushEndpoint& endpoint, const IncomingRequest& request,
                 RequestRecord& record, StateData& state, bool apply) const;

  private:
    std::string authorizationProblem(const IncomingRequest& request) const;
    std::string contentTypeProblem(const IncomingRequest& request) const;

    PushSettings settings_;
    std::string expectedAuthorization_;
    std::string expectedContentType_;
};

}  // namespace orvanpush::server
