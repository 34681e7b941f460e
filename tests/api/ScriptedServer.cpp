#include "api/ScriptedServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace orvanpush::testing {

struct ScriptedServer::State {
    std::vector<Answer> script;
    int listener = -1;
    std::mutex mutex;
    std::condition_variable stopped;
    bool stopping = false;
    std::vector<Request> requests;
    std::vector<int> silenced;
    int reading = -1;  // the connection being read, which a stop shuts down
    std::thread thread;

    // Reads one request; nothing when the peer closed first.
    static std::optional<Request> read(int connection) {
        std::string data;
        char buffer[4096];
        for (ssize_t got = 0; (got = recv(connection, buffer, sizeof buffer, 0)) > 0;) {
            data.append(buffer, static_cast<std::size_t>(got));
            const auto headerEnd = data.find("\r\n\r\n");
            if (headerEnd == std::string::npos) {
                continue;
            }
            Request request = parse(data.substr(0, headerEnd));
            const std::size_t bodyLength =
                std::stoul(request.header("Content-Length").value_or("0"));
            if (data.size() >= headerEnd + 4 + bodyLength) {
                request.body = data.substr(headerEnd + 4, bodyLength);
                return request;
            }
        }
        return std::nullopt;
    }

    // The request line and headers of `head`, the text before the blank line.
    static Request parse(const std::string& head) {
        Request request;
        std::istringstream lines(head + "\r\n");
        std::string line;
        std::getline(lines, line);
        std::istringstream(line) >> request.method >> request.target;
        while (std::getline(lines, line) && line.size() > 1) {
            const auto colon = line.find(':');
            const auto value = line.find_first_not_of(' ', colon + 1);
            request.headers.emplace_back(line.substr(0, colon),
                                         line.substr(value, line.size() - 1 - value));
        }
        return request;
    }

    static void write(int connection, const Answer& answer) {
        std::string response = "HTTP/1.1 " + std::to_string(answer.status) + " Scripted\r\n";
        for (const auto& [name, value] : answer.headers) {
            response += name + ": " + value + "\r\n";
        }
        if (!answer.lengthUnannounced) {
            response += "Content-Length: " + std::to_string(answer.body.size()) + "\r\n";
        }
        response += "Connection: close\r\n\r\n" + answer.body;
        for (std::size_t sent = 0; sent < response.size();) {
            const ssize_t wrote =
                send(connection, response.data() + sent, response.size() - sent, MSG_NOSIGNAL);
            if (wrote <= 0) {
                return;
            }
            sent += static_cast<std::size_t>(wrote);
        }
    }

    void serve(int connection) {
        {
            // From here on a stop shuts the connection down: a client that never sends cannot
            // hold it up.
            std::lock_guard lock(mutex);
            reading = connection;
            if (stopping) {
                shutdown(connection, SHUT_RDWR);
            }
        }
        auto request = read(connection);
        std::unique_lock lock(mutex);
        reading = -1;
        Answer answer = drop();
        if (request) {
            answer = script[std::min(requests.size(), script.size() - 1)];
            requests.push_back(std::move(*request));
        }
        if (answer.kind == Answer::Kind::silence) {
            silenced.push_back(connection);
            return;
        }
        if (answer.kind == Answer::Kind::respond &&
            !stopped.wait_for(lock, answer.delay, [this] { return stopping; })) {
            lock.unlock();
            write(connection, answer);
        }
        close(connection);
    }

    void run() {
        while (true) {
            const int connection = accept(listener, nullptr, nullptr);
            if (connection >= 0) {
                serve(connection);
            } else if (std::lock_guard lock(mutex); stopping) {
                return;
            }
        }
    }
};

ScriptedServer::ScriptedServer(std::vector<Answer> script) : state_(std::make_shared<State>()) {
    if (script.empty()) {
        throw std::invalid_argument("an empty script");
    }
    state_->script = std::move(script);
    state_->listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(state_->listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(state_->listener, 16) != 0 ||
        getsockname(state_->listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
    state_->thread = std::thread([state = state_] { state->run(); });
}

ScriptedServer::~ScriptedServer() {
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
        if (state_->reading >= 0) {
            shutdown(state_->reading, SHUT_RDWR);
        }
    }
    state_->stopped.notify_all();
    // A listening socket shut down wakes the accept waiting on it.
    shutdown(state_->listener, SHUT_RDWR);
    state_->thread.join();
    for (int fd : state_->silenced) {
        close(fd);
    }
    close(state_->listener);
}

std::vector<ScriptedServer::Request> ScriptedServer::requests() const {
    std::lock_guard lock(state_->mutex);
    return state_->requests;
}

}  // namespace orvanpush::testing
