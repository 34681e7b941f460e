#include "api/ScriptedServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <mutex>
#include <stdexcept>
#include <thread>

namespace orvanpush::testing {

ScriptedServer::Answer ScriptedServer::status(
    int status, std::string body, std::vector<std::pair<std::string, std::string>> headers,
    std::chrono::milliseconds delay) {
    return {Answer::Kind::respond, status, std::move(body), std::move(headers), delay};
}

ScriptedServer::Answer ScriptedServer::drop() {
    return {Answer::Kind::drop, 0, {}, {}, {}};
}

ScriptedServer::Answer ScriptedServer::silence() {
    return {Answer::Kind::silence, 0, {}, {}, {}};
}

std::optional<std::string> ScriptedServer::Request::header(const std::string& name) const {
    for (const auto& [key, value] : headers) {
        if (strcasecmp(key.c_str(), name.c_str()) == 0) {
            return value;
        }
    }
    return std::nullopt;
}

std::size_t ScriptedServer::Request::headerCount(const std::string& name) const {
    std::size_t count = 0;
    for (const auto& entry : headers) {
        count += strcasecmp(entry.first.c_str(), name.c_str()) == 0 ? 1 : 0;
    }
    return count;
}

struct ScriptedServer::State {
    std::vector<Answer> script;
    int listener = -1;
    int wakeRead = -1;
    int wakeWrite = -1;
    int port = 0;
    std::mutex mutex;
    std::vector<Request> requests;
    std::vector<int> silenced;
    std::thread thread;

    // Waits until `fd` is readable; false when the server is stopping.
    bool waitReadable(int fd) const {
        pollfd fds[2] = {{fd, POLLIN, 0}, {wakeRead, POLLIN, 0}};
        while (poll(fds, 2, -1) < 0) {
        }
        return (fds[1].revents & POLLIN) == 0;
    }

    // Reads one request; nothing when the peer closed first or the server stops.
    std::optional<Request> read(int connection) const {
        std::string data;
        std::size_t headerEnd = std::string::npos;
        std::size_t contentLength = 0;
        char buffer[4096];
        while (headerEnd == std::string::npos || data.size() < headerEnd + 4 + contentLength) {
            if (!waitReadable(connection)) {
                return std::nullopt;
            }
            const ssize_t got = recv(connection, buffer, sizeof buffer, 0);
            if (got <= 0) {
                return std::nullopt;
            }
            data.append(buffer, static_cast<std::size_t>(got));
            if (headerEnd == std::string::npos &&
                (headerEnd = data.find("\r\n\r\n")) != std::string::npos) {
                auto length = parse(data.substr(0, headerEnd)).header("Content-Length");
                contentLength = length ? std::stoul(*length) : 0;
            }
        }
        Request request = parse(data.substr(0, headerEnd));
        request.body = data.substr(headerEnd + 4, contentLength);
        return request;
    }

    static Request parse(const std::string& head) {
        Request request;
        const auto lineEnd = head.find("\r\n");
        const std::string requestLine = head.substr(0, lineEnd);
        const auto firstSpace = requestLine.find(' ');
        const auto secondSpace = requestLine.find(' ', firstSpace + 1);
        request.method = requestLine.substr(0, firstSpace);
        request.target = requestLine.substr(firstSpace + 1, secondSpace - firstSpace - 1);
        const std::string block = lineEnd == std::string::npos ? "" : head.substr(lineEnd + 2);
        std::size_t at = 0;
        while (at < block.size()) {
            auto end = block.find("\r\n", at);
            end = end == std::string::npos ? block.size() : end;
            const std::string line = block.substr(at, end - at);
            const auto colon = line.find(':');
            std::string value = colon == std::string::npos ? "" : line.substr(colon + 1);
            value.erase(0, value.find_first_not_of(' '));
            request.headers.emplace_back(line.substr(0, colon), value);
            at = end + 2;
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
        auto request = read(connection);
        if (!request) {
            close(connection);
            return;
        }
        Answer answer;
        {
            std::lock_guard lock(mutex);
            answer = script[std::min(requests.size(), script.size() - 1)];
            requests.push_back(std::move(*request));
        }
        switch (answer.kind) {
            case Answer::Kind::silence: {
                std::lock_guard lock(mutex);
                silenced.push_back(connection);
                return;
            }
            case Answer::Kind::drop:
                break;
            case Answer::Kind::respond: {
                pollfd wake{wakeRead, POLLIN, 0};
                if (poll(&wake, 1, static_cast<int>(answer.delay.count())) == 0) {
                    write(connection, answer);
                }
                break;
            }
        }
        close(connection);
    }

    void run() {
        while (waitReadable(listener)) {
            const int connection = accept(listener, nullptr, nullptr);
            if (connection >= 0) {
                serve(connection);
            }
        }
    }
};

ScriptedServer::ScriptedServer(std::vector<Answer> script) : state_(std::make_shared<State>()) {
    if (script.empty()) {
        throw std::invalid_argument("an empty script");
    }
    state_->script = std::move(script);
    int wake[2];
    if (pipe2(wake, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe");
    }
    state_->wakeRead = wake[0];
    state_->wakeWrite = wake[1];
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
    state_->port = ntohs(address.sin_port);
    state_->thread = std::thread([state = state_] { state->run(); });
}

ScriptedServer::~ScriptedServer() {
    const char stop = 's';
    (void)::write(state_->wakeWrite, &stop, 1);
    state_->thread.join();
    for (int fd : state_->silenced) {
        close(fd);
    }
    for (int fd : {state_->listener, state_->wakeRead, state_->wakeWrite}) {
        close(fd);
    }
}

int ScriptedServer::port() const {
    return state_->port;
}

std::string ScriptedServer::baseAddress() const {
    return "http://127.0.0.1:" + std::to_string(state_->port);
}

std::vector<ScriptedServer::Request> ScriptedServer::requests() const {
    std::lock_guard lock(state_->mutex);
    return state_->requests;
}

}  // namespace orvanpush::testing
