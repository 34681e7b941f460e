#pragma once

// A raw-socket HTTP server on 127.0.0.1 with an ephemeral port that answers from a script, for
// what a real server rarely does: 5xx in a row, dropped connections, silence, bodies of any
// shape. Each connection carries one request and is closed after its answer.
//
//   ScriptedServer server({ScriptedServer::status(503), ScriptedServer::status(200, "{}")});
//   ... send to server.baseAddress() ...
//   EXPECT_EQ(server.requests().size(), 2u);

#include <strings.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace orvanpush::testing {

class ScriptedServer {
  public:
    struct Answer {
        enum class Kind { respond, drop, silence } kind = Kind::respond;
        int status = 200;
        std::string body{};
        std::vector<std::pair<std::string, std::string>> headers{};
        std::chrono::milliseconds delay{0};
        /// Without "Content-Length": the end of the connection ends the body.
        bool lengthUnannounced = false;
    };

    /// Answers with `status` and `body` (and `headers`), after `delay`.
    static Answer status(int status, std::string body = {},
                         std::vector<std::pair<std::string, std::string>> headers = {},
                         std::chrono::milliseconds delay = {}) {
        return {Answer::Kind::respond, status, std::move(body), std::move(headers), delay};
    }
    /// Closes the connection without answering.
    static Answer drop() { return {.kind = Answer::Kind::drop}; }
    /// Keeps the connection open and never answers.
    static Answer silence() { return {.kind = Answer::Kind::silence}; }

    struct Request {
        std::string method;
        std::string target;  // path and query as sent
        std::vector<std::pair<std::string, std::string>> headers;
        std::string body;

        /// The values of the headers of that name (any letter case), in order.
        std::vector<std::string> values(const std::string& name) const {
            std::vector<std::string> found;
            for (const auto& [key, value] : headers) {
                if (strcasecmp(key.c_str(), name.c_str()) == 0) {
                    found.push_back(value);
                }
            }
            return found;
        }
        /// The value of the first header of that name (any letter case).
        std::optional<std::string> header(const std::string& name) const {
            const auto found = values(name);
            return found.empty() ? std::nullopt : std::optional(found[0]);
        }
    };

    /// Serves `script` in order; requests beyond it get the script's last answer.
    explicit ScriptedServer(std::vector<Answer> script);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    int port() const { return port_; }
    /// "http://127.0.0.1:<port>".
    std::string baseAddress() const { return "http://127.0.0.1:" + std::to_string(port_); }
    /// The requests received so far, in order.
    std::vector<Request> requests() const;

  private:
    struct State;
    std::shared_ptr<State> state_;
    int port_ = 0;
};

}  // namespace orvanpush::testing
