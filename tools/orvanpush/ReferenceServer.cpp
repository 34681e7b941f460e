#include "ReferenceServer.h"

#include <unistd.h>

#include <stdexcept>
#include <vector>

namespace orvanpush::cli {
namespace {

constexpr const char* kServerProgram = "orvanpush-server";

bool isProgram(const std::filesystem::path& path) {
    return std::filesystem::is_regular_file(path) && ::access(path.c_str(), X_OK) == 0;
}

ChildProcess startServer(const std::filesystem::path& program,
                         const std::optional<std::filesystem::path>& requestLog) {
    std::vector<std::string> arguments{program.string(),
                                       "--port",
                                       "0",
                                       "--context",
                                       "api",
                                       "--log-context",
                                       "logs",
                                       "--login",
                                       ReferenceServer::kLogin,
                                       "--password",
                                       ReferenceServer::kPassword};
    if (requestLog) {
        arguments.insert(arguments.end(), {"--request-log", requestLog->string()});
    }
    return ChildProcess(arguments);
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

std::filesystem::path ReferenceServer::locate(const std::optional<std::filesystem::path>& given) {
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

ReferenceServer::ReferenceServer(const std::filesystem::path& program,
                                 const std::optional<std::filesystem::path>& requestLog)
    : process_(startServer(program, requestLog)), port_(readPort(process_)), admin_(port_) {}

ReferenceServer::~ReferenceServer() {
    stop();
}

ServerParams ReferenceServer::pushServer() const {
    return {"http", "127.0.0.1", port_, "api"};
}

ServerParams ReferenceServer::logServer() const {
    return {"http", "127.0.0.1", port_, "logs"};
}

Json ReferenceServer::admin(const std::string& method, const std::string& path,
                            const std::optional<Json>& body) const {
    return admin_.call(method, path, body);
}

void ReferenceServer::addFault(const Json& faults) const {
    admin("POST", "faults", faults);
}

void ReferenceServer::addFault(const std::string& endpoint, Json fault) const {
    fault["path"] = "/api/" + endpoint;
    addFault(fault);
}

void ReferenceServer::clearFaults() const {
    admin("DELETE", "faults");
    if (refusal_) {
        addFault(*refusal_);
    }
}

void ReferenceServer::setRefusal(const std::optional<Json>& faults) {
    refusal_ = faults;
    clearFaults();
}

void ReferenceServer::reset() const {
    admin("POST", "reset");
    if (refusal_) {
        addFault(*refusal_);
    }
}

Json ReferenceServer::requests(long long since) const {
    return admin("GET", "requests?since=" + std::to_string(since)).at("requests");
}

Json ReferenceServer::requestsTo(const std::string& endpoint) const {
    std::string path = "/api/" + endpoint;
    for (auto slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash)) {
        path.replace(slash, 1, "%2F");
    }
    return admin("GET", "requests?path=" + path).at("requests");
}

long long ReferenceServer::statusCount(const std::string& messageId,
                                       const std::string& status) const {
    const auto statuses = admin("GET", "statuses").at("statuses");
    for (const auto& entry : statuses) {
        if (entry.at("messageId") == messageId && entry.at("status") == status) {
            return entry.at("count").get<long long>();
        }
    }
    return 0;
}

int ReferenceServer::stop() {
    if (process_.pid() <= 0) {
        return -1;
    }
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
