#include "ServerAdmin.h"

#include <chrono>
#include <future>
#include <memory>
#include <stdexcept>

namespace orvanpush::cli {
namespace {

constexpr auto kAdminTimeout = std::chrono::seconds(10);

}  // namespace

Json ServerAdmin::call(const std::string& method, const std::string& path,
                       const std::optional<Json>& body, platform::HttpHeaders headers) const {
    auto request = std::make_shared<platform::HttpRequest>();
    request->url = "http://127.0.0.1:" + std::to_string(port_) + "/_admin/" + path;
    request->method = method;
    request->headers = std::move(headers);
    if (body) {
        const auto dumped = body->dump();
        request->body = Bytes(dumped.begin(), dumped.end());
        request->headers.emplace_back("Content-Type", "application/json");
    }
    platform::UrlSession session({.timeoutIntervalForRequest = kAdminTimeout});
    auto answered = std::make_shared<std::promise<platform::HttpOutcome>>();
    auto outcome = answered->get_future();
    session.dataTask(request, [answered](platform::HttpOutcome result) {
        answered->set_value(std::move(result));
    });
    // The session's own timeout ends the exchange; this wait only guards against a lost one.
    if (outcome.wait_for(2 * kAdminTimeout) != std::future_status::ready) {
        throw std::runtime_error("the server's admin API did not answer " + method + " " + path);
    }
    const auto result = outcome.get();
    if (!result.response) {
        throw std::runtime_error("the server's admin API is unreachable: " +
                                 result.error.value_or("no response"));
    }
    const std::string answer(result.response->body.begin(), result.response->body.end());
    if (result.response->statusCode != 200) {
        throw std::runtime_error("the server's admin API refused " + method + " " + path + ": " +
                                 answer);
    }
    return Json::parse(answer);
}

}  // namespace orvanpush::cli
