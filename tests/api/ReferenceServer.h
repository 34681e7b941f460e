#pragma once

// The reference push server for the client's tests: started with the push endpoints below
// "/api" and its default credentials, and driven through its admin API
// (tools/push-server/README.md).

#include <optional>
#include <string>
#include <vector>

#include "ServerAdmin.h"
#include "orvanpush/ServerParams.h"
#include "orvanpush/Types.h"
#include "support/ReferenceServerProcess.h"

namespace orvanpush::testing {

class ReferenceServer {
  public:
    static constexpr const char* kLogin = "orvan";
    static constexpr const char* kPassword = "orvan-password";

    /// Started with `arguments` after "--port 0".
    explicit ReferenceServer(const std::vector<std::string>& arguments = {"--context", "api"});

    int port() const { return process_.port(); }
    /// What an instance is configured with to reach the push endpoints.
    ServerParams pushServerParams() const;

    /// Calls the admin API (`path` below "/_admin/") and answers its JSON; throws when the
    /// server refuses the call.
    Json admin(const std::string& method, const std::string& path,
               const std::optional<Json>& body = std::nullopt) const;
    /// The request-log records of one endpoint ("subscriber/get"), oldest first.
    Json requests(const std::string& endpoint) const;
    /// Answers the next requests to `endpoint` as `fault` says (its "path" is filled in).
    void addFault(const std::string& endpoint, Json fault) const;
    /// Forgets everything: subscribers, history, content, faults, the request log.
    void reset() const;

  private:
    ReferenceServerProcess process_;
    cli::ServerAdmin admin_;
};

}  // namespace orvanpush::testing
