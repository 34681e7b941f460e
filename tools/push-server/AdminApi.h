#pragma once

// The "/_admin/" endpoints through which tests look into the server and steer it. Every answer
// is JSON except an archive's bytes; README.md documents each endpoint.

#include <string>

#include "Exchange.h"
#include "ServerState.h"

namespace orvanpush::server {

class AdminApi {
  public:
    /// `config` is what "GET /_admin/config" answers.
    AdminApi(ServerState& state, Json config) : state_(state), config_(std::move(config)) {}

    static bool owns(const std::string& path) { return path.starts_with("/_admin/"); }

    Reply handle(const IncomingRequest& request);

  private:
    Reply route(const IncomingRequest& request);
    Reply requests(const IncomingRequest& request);
    Reply addFaults(const Json& body);
    Reply seedHistory(const Json& body);
    Reply seedContent(const Json& body);
    Reply archive(const std::string& id);

    ServerState& state_;
    Json config_;
};

}  // namespace orvanpush::server
