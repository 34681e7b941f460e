#pragma once

// The reference server: the push endpoints, the log server's upload and the admin API on one
// loopback port.
//
//   PushServer server(options);
//   std::cout << server.bind() << std::endl;  // the port, chosen by the system for port 0
//   server.serve();                           // until stop() is called from another thread
//
// Every request other than an admin call is recorded with the outcome of each check. An
// injected fault for its path answers it in the fault's way instead (the request is then not
// carried out, except for a delay, which carries it out and answers late).

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "AdminApi.h"
#include "Exchange.h"
#include "LogUploadService.h"
#include "PushService.h"
#include "ServerState.h"

namespace httplib {
class Server;
}

namespace orvanpush::server {

struct ServerOptions {
    std::string host = "127.0.0.1";
    int port = 0;
    std::string login = "orvan";
    std::string password = "orvan-password";
    std::string apiVersion = "test";
    std::string context;
    std::string logContext;
    std::string requestLogPath;
    std::size_t keptRequests = 100'000;
    int threads = 16;
};

class PushServer {
  public:
    explicit PushServer(ServerOptions options);
    ~PushServer();

    /// Binds the listening socket and returns its port; throws std::runtime_error on failure.
    int bind();
    /// Serves until `stop()`; false when the listening socket failed.
    bool serve();
    /// Stops serving and cuts injected delays short. Safe from any thread.
    void stop();

  private:
    Reply serviceRequest(const IncomingRequest& request, int clientPort);
    Reply dispatch(const IncomingRequest& request, RequestRecord& record, StateData& state,
                   bool apply);
    /// Waits out an injected delay; returns early when the server stops.
    void pause(std::chrono::milliseconds delay);
    Json config() const;

    ServerOptions options_;
    int port_ = 0;
    ServerState state_;
    PushService push_;
    LogUploadService logUpload_;
    std::unique_ptr<AdminApi> admin_;
    std::unique_ptr<httplib::Server> http_;
    std::mutex stopMutex_;
    std::condition_variable stopped_;
    bool stopping_ = false;
    bool serving_ = false;  // from the start of serve() to its end
};

}  // namespace orvanpush::server
