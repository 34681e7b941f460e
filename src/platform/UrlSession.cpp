#include "platform/UrlSession.h"

#include <algorithm>
#include <cctype>

#include "platform/CurlTransport.h"

namespace orvanpush::platform {
namespace {

bool isTokenCharacter(unsigned char c) {
    static constexpr std::string_view kSymbols = "!#$%&'*+-.^_`|~";
    return std::isalnum(c) || kSymbols.find(static_cast<char>(c)) != std::string_view::npos;
}

bool sameName(std::string_view a, std::string_view b) {
    return std::ranges::equal(
        a, b, [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

bool containsName(const HttpHeaders& headers, std::string_view name) {
    return std::ranges::any_of(headers,
                               [&](const auto& entry) { return sameName(entry.first, name); });
}

// The first reason a request cannot be sent as it stands; header values are never quoted.
std::optional<std::string> refusal(const std::string& method, const HttpHeaders& headers) {
    if (!isHttpToken(method)) {
        return "Invalid HTTP method";
    }
    for (const auto& [name, value] : headers) {
        if (!isHttpToken(name)) {
            return "Invalid header name";
        }
        if (!isHeaderValue(value)) {
            return "Invalid value of header " + name;
        }
    }
    return std::nullopt;
}

std::chrono::milliseconds effectiveTimeout(const HttpRequest& request,
                                           std::chrono::milliseconds sessionTimeout) {
    auto timeout = request.timeout.value_or(sessionTimeout);
    if (timeout <= std::chrono::milliseconds::zero()) {
        timeout = sessionTimeout;
    }
    return std::clamp(timeout, std::chrono::milliseconds(1), kLongestTimeout);
}

}  // namespace

bool isHttpToken(std::string_view text) {
    return !text.empty() && std::ranges::all_of(text, [](char c) {
        return isTokenCharacter(static_cast<unsigned char>(c));
    });
}

bool isHeaderValue(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

HttpHeaders mergeHeaders(const HttpHeaders& session, const HttpHeaders& request) {
    HttpHeaders merged;
    for (const auto& entry : session) {
        if (!containsName(request, entry.first)) {
            merged.push_back(entry);
        }
    }
    for (auto entry = request.begin(); entry != request.end(); ++entry) {
        const bool replacedLater =
            std::any_of(std::next(entry), request.end(),
                        [&](const auto& later) { return sameName(later.first, entry->first); });
        if (!replacedLater) {
            merged.push_back(*entry);
        }
    }
    return merged;
}

UrlSession::UrlSession(Configuration configuration) : configuration_(std::move(configuration)) {}

void UrlSession::dataTask(std::shared_ptr<const HttpRequest> request, Completion completion) const {
    auto& transport = CurlTransport::shared();
    auto headers = mergeHeaders(configuration_.httpAdditionalHeaders, request->headers);
    if (auto reason = refusal(request->method, headers)) {
        transport.complete({.response = std::nullopt, .error = std::move(reason)},
                           std::move(completion));
        return;
    }
    auto timeout = effectiveTimeout(*request, configuration_.timeoutIntervalForRequest);
    transport.send({.request = std::move(request),
                    .headers = std::move(headers),
                    .timeout = timeout,
                    .connectAndIdleTimeout = configuration_.connectAndIdleTimeout},
                   std::move(completion));
}

}  // namespace orvanpush::platform
