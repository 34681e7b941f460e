#pragma once

// The reference server (orvanpush-server) as the demo, the tests and the benchmarks run it: a
// process of its own on an ephemeral loopback port, with the push endpoints below "/api" and the
// log upload below "/logs", driven through its admin API and stopped with SIGTERM (or when the
// program that started it ends).
//
//   ReferenceServer server(ReferenceServer::locate(std::nullopt), home / "server-requests.jsonl");
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

class ReferenceServer {
  public:
    static constexpr const char* kLogin = "demo";
    static constexpr const char* kPassword = "demo-password";

    /// The server program: `given`, else orvanpush-server next to this program (the installed
    /// layout), else in the build tree's sibling directory push-server. Throws
    /// std::runtime_error naming the places looked at when there is none.
    static std::filesystem::path locate(const std::optional<std::filesystem::path>& given);

    /// Starts `program` on a free loopback port, appending its request log to `requestLog` when
    /// given. Throws std::runtime_error when it does not start.
    explicit ReferenceServer(const std::filesystem::path& program,
                             const std::optional<std::filesystem::path>& requestLog = std::nullopt);
    /// Stops the server as stop() does.
    ~ReferenceServer();
    ReferenceServer(const ReferenceServer&) = delete;
    ReferenceServer& operator=(const ReferenceServer&) = delete;

    int port() const { return port_; }
    ServerParams pushServer() const;
    ServerParams logServer() const;

    /// Calls the admin API (`path` below "/_admin/") and returns its JSON answer. Throws
    /// std::runtime_error when the call fails or is refused.
    Json admin(const std::string& method, const std::string& path,
               const std::optional<Json>& body = std::nullopt) const;

    /// Adds faults (one, or {"faults":[...]}) after those already waiting.
    void addFault(const Json& faults) const;
    /// Adds `fault` for the push endpoint `endpoint` ("subscriber/get").
    void addFault(const std::string& endpoint, Json fault) const;
    /// Removes every waiting fault, except the refusal, which is added again.
    void clearFaults() const;
    /// From now on (until set to nothing) `faults` answer every request they match before any
    /// other fault does.
    void setRefusal(const std::optional<Json>& faults);
    /// Forgets subscribers, history, content, the request log and the faults (but the refusal).
    void reset() const;

    /// The request log: every record, or those with ids above `since`.
    Json requests(long long since = 0) const;
    /// The request-log records of the push endpoint `endpoint` ("subscriber/get"), oldest first.
    Json requestsTo(const std::string& endpoint) const;
    /// How often the server counted the report `status` of `messageId`.
    long long statusCount(const std::string& messageId, const std::string& status) const;

    /// Stops the server: its exit status (0 when it stopped cleanly), -1 when it was stopped
    /// already.
    int stop();

  private:
    ChildProcess process_;
    int port_ = 0;
    ServerAdmin admin_;
    std::optional<Json> refusal_;
};

}  // namespace orvanpush::cli
