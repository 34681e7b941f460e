#include "DemoServer.h"

#include <unistd.h>

#include <stdexcept>

namespace orvanpush::cli {
namespace {

constexpr const char* kServerProgram = "orvanpush-server";

bool isProgram(const std::filesystem::path& path) {
    return std::filesystem::is_regular_file(path) && ::access(path.c_str(), X_OK) == 0;
}

ChildProcess startServer(const std::filesystem::path& program,
                         const std::filesystem::path& requestLog) {
    return ChildProcess({program.string(), "--port", "0", "--context", "api", "--log-context",
                         "logs", "--login", DemoServer::kLogin, "--password", DemoServer::kPassword,
                         "--request-log", requestLog.string()});
}

int readPort(ChildProcess& process) {
    const auto line = process.readLine().value_or("");
    if (line.empty() || line.size() > 5 || line.find_first_not_of("0123456789") != line.npos) {
        throw std::runtime_error("orvanpush-server did not start (it printed \"" + line +
                                 "\" for its port)");
    }
    return std::stoi(line);
}

}  // namespace

std::filesystem::path DemoServer::locate(const std::optional<std::filesystem::path>& given) {
    if (given) {
        if (!isProgram(*given)) {
            throw std::runtime_error("--server: " + given->string() + " is not a program");
        }
        return *given;
    }
    const auto here = runningProgram().parent_path();
    const std::filesystem::path candidates[] = {
        here / kServerProgram, here.parent_path() / "push-server" / kServerProgram};
    for (const auto& candidate : candidates) {
        if (isProgram(candidate)) {
            return candidate;
        }
    }
    throw std::runtime_error(std::string("cannot find ") + kServerProgram + " in " +
                             candidates[0].parent_path().string() + " or " +
                             candidates[1].parent_path().string() + "; give it with --server");
}

DemoServer::DemoServer(const std::filesystem::path& program,
                       const std::filesystem::path& requestLog)
    : process_(startServer(program, requestLog)), port_(readPort(process_)), admin_(port_) {}

ServerParams DemoServer::pushServer() const {
    return {"http", "127.0.0.1", port_, "api"};
}

ServerParams DemoServer::logServer() const {
    return {"http", "127.0.0.1", port_, "logs"};
}

Json DemoServer::admin(const std::string& method, const std::string& path,
                       const std::optional<Json>& body) const {
    return admin_.call(method, path, body);
}

void DemoServer::addFault(const Json& faults) const {
    admin("POST", "faults", faults);
}

void DemoServer::clearFaults() const {
    admin("DELETE", "faults");
    if (refusal_) {
        addFault(*refusal_);
    }
}

void DemoServer::setRefusal(const std::optional<Json>& faults) {
    refusal_ = faults;
    clearFaults();
}

Json DemoServer::requests(long long since) const {
    return admin("GET", "requests?since=" + std::to_string(since)).at("requests");
}

long long DemoServer::statusCount(const std::string& messageId, const std::string& status) const {
    const auto statuses = admin("GET", "statuses").at("statuses");
    for (const auto& entry : statuses) {
        if (entry.at("messageId") == messageId && entry.at("status") == status) {
            return entry.at("count").get<long long>();
        }
    }
    return 0;
}

int DemoServer::stop() {
    // The server lets an idle keep-alive connection finish (5 s) before it exits, and this
    // process's connections to it sit idle in the transport's cache: a last call that asks
    // to close its connection lets it stop at once.
    try {
        admin_.call("GET", "config", std::nullopt, {{"Connection", "close"}});
    } catch (const std::exception&) {
        // Not answering: nothing of it to wait for.
    }
    return process_.terminate();
}

}  // namespace orvanpush::cli
