#include "api/ReferenceServer.h"

namespace orvanpush::testing {

#ifndef ORVANPUSH_SERVER
#define ORVANPUSH_SERVER "orvanpush-server"
#endif

ReferenceServer::ReferenceServer(const std::vector<std::string>& arguments)
    : process_(ORVANPUSH_SERVER, arguments), admin_(process_.port()) {}

ServerParams ReferenceServer::pushServerParams() const {
    return {"http", "127.0.0.1", port(), "api"};
}

Json ReferenceServer::admin(const std::string& method, const std::string& path,
                            const std::optional<Json>& body) const {
    return admin_.call(method, path, body);
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
