#pragma once

// The reference server's admin API (paths below "/_admin/"), called over loopback with JSON in
// and out; the demo and the tests that drive the server both call it so.
//
//   ServerAdmin admin(port);
//   admin.call("POST", "faults", Json{{"path", "*"}, {"kind", "drop"}, {"count", 3}});
//   Json records = admin.call("GET", "requests?since=12").at("requests");

#include <optional>
#include <string>

#include "orvanpush/Types.h"
#include "platform/UrlSession.h"

namespace orvanpush::cli {

class ServerAdmin {
  public:
    /// The admin API of the server listening on 127.0.0.1:`port`.
    explicit ServerAdmin(int port) : port_(port) {}

    /// Calls `method` on `path` (below "/_admin/", with its query), sending `body` as JSON, and
    /// returns the JSON answer. Throws std::runtime_error when the server does not answer in
    /// time or refuses the call (any status but 200).
    Json call(const std::string& method, const std::string& path,
              const std::optional<Json>& body = std::nullopt,
              platform::HttpHeaders headers = {}) const;

  private:
    int port_;
};

}  // namespace orvanpush::cli
