#pragma once

// The demo's reference server (orvanpush-server): started on an ephemeral loopback port with its
// request log in the demo's home, driven through its admin API, stopped with SIGTERM.
//
//   DemoServer server(DemoServer::locate(std::nullopt), home / "server-requests.jsonl");
//   server.addFault({{"path", "*"}, {"kind", "drop"}, {"count", 100}});
//   Json statuses = server.admin("GET", "statuses");

#include <filesystem>
#include <optional>
#include <string>

#include "DemoProcess.h"
#include "ServerAdmin.h"
#include "orvanpush/ServerParams.h"
#include "orvanpush/Types.h"

namespace orvanpush::cli {

class DemoServer {
  public:
    static constexpr const char* kLogin = "demo";
    static constexpr const char* kPassword = "demo-password";

    /// The server program: `given`, else orvanpush-server next to this program (the installed
    /// layout), else in the build tree's sibling directory push-server. Throws
    /// std::runtime_error naming the places looked at when there is none.
    static std::filesystem::path locate(const std::optional<std::filesystem::path>& given);

    /// Starts `program` on a free loopback port, appending its request log to `requestLog`.
    /// Throws std::runtime_error when it does not start.
    DemoServer(const std::filesystem::path& program, const std::filesystem::path& requestLog);

    int port() const { return port_; }
    ServerParams pushServer() const;
    ServerParams logServer() const;

    /// Calls the admin API (`path` below "/_admin/") and returns its JSON answer. Throws
    /// std::runtime_error when the call fails or is refused.
    Json admin(const std::string& method, const std::string& path,
               const std::optional<Json>& body = std::nullopt) const;

    /// Adds faults (one, or {"faults":[...]}) after those already waiting.
    void addFault(const Json& faults) const;
    /// Removes every waiting fault, except the refusal, which is added again.
    void clearFaults() const;
    /// From now on (until set to nothing) `faults` answer every request they match before any
    /// other fault does.
    void setRefusal(const std::optional<Json>& faults);

    /// The request log: every record, or those with ids above `since`.
    Json requests(long long since = 0) const;
    /// How often the server counted the report `status` of `messageId`.
    long long statusCount(const std::string& messageId, const std::string& status) const;

    /// Stops the server: its exit status (0 when it stopped cleanly).
    int stop();

  private:
    ChildProcess process_;
    int port_ = 0;
    ServerAdmin admin_;
    std::optional<Json> refusal_;
};

}  // namespace orvanpush::cli
