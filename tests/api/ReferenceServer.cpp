#include "api/ReferenceServer.h"

#include <stdexcept>

#include "platform/UrlSession.h"
#include "support/TestHome.h"

namespace orvanpush::testing {

#ifndef ORVANPUSH_SERVER
#define ORVANPUSH_SERVER "orvanpush-server"
#endif

ReferenceServer::ReferenceServer(const std::vector<std::string>& arguments)
    : process_(ORVANPUSH_SERVER, arguments) {}

ServerParams ReferenceServer::pushServerParams() const {
    return {"http", "127.0.0.1", port(), "api"};
}

Json ReferenceServer::admin(const std::string& method, const std::string& path,
                            const std::optional<Json>& body) const {
    auto request = std::make_shared<platform::HttpRequest>();
    request->url = "http://127.0.0.1:" + std::to_string(port()) + "/_admin/" + path;
    request->method = method;
    if (body) {
        const std::string text = body->dump();
        request->body = Bytes(text.begin(), text.end());
        request->headers = {{"Content-Type", "application/json"}};
    }
    Event done;
    platform::HttpOutcome outcome;
    platform::UrlSession({}).dataTask(request, [&](platform::HttpOutcome result) {
        outcome = std::move(result);
        done.notify();
    });
    if (!done.wait() || !outcome.response) {
        throw std::runtime_error("admin call failed: " + outcome.error.value_or(path));
    }
    const auto& bytes = outcome.response->body;
    return Json::parse(bytes.begin(), bytes.end());
}

Json ReferenceServer::requests(const std::string& endpoint) const {
    std::string path = "/api/" + endpoint;
    for (auto slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash)) {
        path.replace(slash, 1, "%2F");
    }
    return admin("GET", "requests?path=" + path)["requests"];
}

void ReferenceServer::addFault(const std::string& endpoint, Json fault) const {
    fault["path"] = "/api/" + endpoint;
    admin("POST", "faults", fault);
}

void ReferenceServer::reset() const {
    admin("POST", "reset");
}

}  // namespace orvanpush::testing
