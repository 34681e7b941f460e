#include "PushServer.h"

#include <httplib.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "ConnectionDropper.h"

namespace orvanpush::server {
namespace {

using Headers = std::vector<std::pair<std::string, std::string>>;

// The headers of the request this thread is serving, as received: captured before routing,
// when the library has added nothing but its address pseudo-headers.
thread_local Headers receivedHeaders;

Headers headersAsReceived(const httplib::Request& request) {
    Headers headers(request.headers.begin(), request.headers.end());
    // The library appends these after the client's own headers.
    for (const char* added : {"REMOTE_ADDR", "REMOTE_PORT", "LOCAL_ADDR", "LOCAL_PORT"}) {
        for (auto header = headers.rbegin(); header != headers.rend(); ++header) {
            if (header->first == added) {
                headers.erase(std::next(header).base());
                break;
            }
        }
    }
    return headers;
}

IncomingRequest incomingRequest(const httplib::Request& request) {
    IncomingRequest incoming;
    incoming.method = request.method;
    const std::size_t question = request.target.find('?');
    incoming.path = request.target.substr(0, question);
    incoming.hasQuery = question != std::string::npos;
    incoming.rawQuery = incoming.hasQuery ? request.target.substr(question + 1) : std::string();
    incoming.headers = receivedHeaders;
    incoming.body = request.body;
    return incoming;
}

void send(const Reply& reply, httplib::Response& response) {
    response.status = reply.status;
    if (!reply.body.empty()) {
        response.set_content(reply.body, reply.contentType);
    }
}

}  // namespace

PushServer::PushServer(ServerOptions options)
    : options_(std::move(options)),
      state_(options_.requestLogPath, options_.keptRequests),
      push_({options_.context, options_.login, options_.password, options_.apiVersion}),
      logUpload_(options_.logContext),
      http_(std::make_unique<httplib::Server>()) {
    http_->set_tcp_nodelay(true);  // accepted sockets inherit it from the listening one
    // The library's default sets SO_REUSEPORT, with which a second server shares a port already
    // in use and takes part of its requests. SO_REUSEADDR alone lets a port be bound again
    // while old connections wait out TIME_WAIT, never while another socket listens on it.
    http_->set_socket_options([](socket_t socket) {
        const int yes = 1;
        ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    http_->set_keep_alive_max_count(100000);
    const auto threads = static_cast<std::size_t>(options_.threads);
    // The library owns and deletes the queue it is handed.
    http_->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };

    http_->set_pre_routing_handler([](const httplib::Request& request, httplib::Response&) {
        receivedHeaders = headersAsReceived(request);
        // The library parses multipart and URL-encoded bodies itself, keeping no raw bytes and
        // refusing framing it does not expect; with no "Content-Type" left it reads every body
        // as it came, which is what the checks need. The request is not const to its owner.
        const_cast<httplib::Request&>(request).headers.erase("Content-Type");
        return httplib::Server::HandlerResponse::Unhandled;
    });
    const auto handler = [this](const httplib::Request& request, httplib::Response& response) {
        const IncomingRequest incoming = incomingRequest(request);
        if (AdminApi::owns(incoming.path)) {
            send(admin_->handle(incoming), response);
        } else {
            send(serviceRequest(incoming, request.remote_port), response);
        }
    };
    http_->Get(".*", handler);
    http_->Post(".*", handler);
    http_->Put(".*", handler);
    http_->Delete(".*", handler);
    http_->Patch(".*", handler);
    http_->Options(".*", handler);
}

PushServer::~PushServer() = default;

int PushServer::bind() {
    errno = 0;
    port_ = options_.port == 0
                ? http_->bind_to_any_port(options_.host)
                : (http_->bind_to_port(options_.host, options_.port) ? options_.port : -1);
    if (port_ <= 0) {
        const int error = errno;
        const auto port = std::to_string(options_.port);
        throw std::runtime_error(error == EADDRINUSE
                                     ? "port " + port + " in use"
                                     : "cannot listen on " + options_.host + " port " + port +
                                           ": " + std::strerror(error));
    }
    admin_ = std::make_unique<AdminApi>(state_, config());
    return port_;
}

bool PushServer::serve() {
    {
        std::lock_guard lock(stopMutex_);
        if (stopping_) {
            return true;
        }
        serving_ = true;
    }
    const bool served = http_->listen_after_bind();
    std::lock_guard lock(stopMutex_);
    serving_ = false;
    return served;
}

void PushServer::stop() {
    std::unique_lock lock(stopMutex_);
    stopping_ = true;
    stopped_.notify_all();
    // httplib ignores a stop that comes before its accept loop runs: a serve() that has begun is
    // let into its loop first (a few instructions away).
    while (serving_ && !http_->is_running()) {
        lock.unlock();
        std::this_thread::yield();
        lock.lock();
    }
    lock.unlock();
    http_->stop();
}

void PushServer::pause(std::chrono::milliseconds delay) {
    std::unique_lock lock(stopMutex_);
    stopped_.wait_for(lock, delay, [this] { return stopping_; });
}

Reply PushServer::serviceRequest(const IncomingRequest& request, int clientPort) {
    std::optional<RequestRecord> record;
    std::optional<Fault> fault;
    std::optional<Reply> answer = state_.locked([&](StateData& state) -> std::optional<Reply> {
        record.emplace(state.nextRequestId++, request);
        fault = state.faults.take(request.path);
        const bool apply = !fault || fault->appliesRequest();
        Reply reply = dispatch(request, *record, state, apply);
        if (!fault) {
            return reply;
        }
        record->setFault(fault->description);
        if (fault->appliesRequest()) {
            return reply;
        }
        record->setOutcome("faulted");
        return fault->dropsConnection() ? std::nullopt : std::optional(fault->reply);
    });
    record->setAnswer(answer);
    state_.log(std::move(*record));
    if (fault) {
        pause(fault->delay);
    }
    if (!answer) {
        dropConnection(port_, clientPort);
        return {};  // written to a connection that is already shut down
    }
    return *answer;
}

Reply PushServer::dispatch(const IncomingRequest& request, RequestRecord& record, StateData& state,
                           bool apply) {
    if (const PushEndpoint* endpoint = push_.endpointAt(request.path)) {
        return push_.handle(*endpoint, request, record, state, apply);
    }
    if (request.path == logUpload_.path()) {
        return logUpload_.handle(request, record, state, apply);
    }
    record.check("path", "failed", "no endpoint at \"" + request.path + "\"");
    record.setOutcome("refused");
    return pushError(refusal::unknownPath, "No endpoint at " + request.path);
}

Json PushServer::config() const {
    Json paths = Json::object();
    for (const auto& endpoint : pushEndpoints()) {
        paths[std::string(endpoint.name)] = push_.pathOf(endpoint);
    }
    paths["saveLogFile"] = logUpload_.path();
    return {
        {"port", port_},
        {"context", options_.context},
        {"logContext", options_.logContext},
        {"apiVersion", options_.apiVersion},
        {"login", options_.login},
        {"paths", std::move(paths)},
    };
}

}  // namespace orvanpush::server
