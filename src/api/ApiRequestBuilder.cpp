#include "api/ApiRequestBuilder.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>

#include "api/TransportTexts.h"
#include "orvanpush/TextError.h"

namespace orvanpush::detail {
namespace {

constexpr std::string_view kHexDigits = "0123456789ABCDEF";

bool isAlpha(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isHexDigit(char c) {
    return isDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}
bool isUnreserved(char c) {
    return isAlpha(c) || isDigit(c) || c == '-' || c == '.' || c == '_' || c == '~';
}
bool isSubDelimiter(char c) {
    return std::string_view("!$&'()*+,;=").find(c) != std::string_view::npos;
}
// A character that may stand for itself in a path: pchar or "/".
bool isPathCharacter(char c) {
    return isUnreserved(c) || isSubDelimiter(c) || c == ':' || c == '@' || c == '/';
}

template <typename Keep>
std::string percentEncode(std::string_view text, Keep keep) {
    std::string encoded;
    encoded.reserve(text.size());
    for (char c : text) {
        if (keep(c)) {
            encoded += c;
        } else {
            const auto byte = static_cast<unsigned char>(c);
            encoded += '%';
            encoded += kHexDigits[byte >> 4];
            encoded += kHexDigits[byte & 0x0F];
        }
    }
    return encoded;
}

// Every character passes `allowed` or starts a well-formed %HH escape.
template <typename Allowed>
bool isEncodedText(std::string_view text, Allowed allowed) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%') {
            if (i + 2 >= text.size() || !isHexDigit(text[i + 1]) || !isHexDigit(text[i + 2])) {
                return false;
            }
            i += 2;
        } else if (!allowed(text[i])) {
            return false;
        }
    }
    return true;
}

bool isScheme(std::string_view text) {
    return !text.empty() && isAlpha(text[0]) && std::ranges::all_of(text, [](char c) {
        return isAlpha(c) || isDigit(c) || c == '+' || c == '-' || c == '.';
    });
}

bool isHost(std::string_view host) {
    if (host.starts_with('[')) {
        return host.size() > 2 && host.ends_with(']') &&
               std::ranges::all_of(host.substr(1, host.size() - 2),
                                   [](char c) { return isHexDigit(c) || c == ':' || c == '.'; });
    }
    return !host.empty() &&
           isEncodedText(host, [](char c) { return isUnreserved(c) || isSubDelimiter(c); });
}

bool isPort(std::string_view port) {
    unsigned value = 0;
    auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
    return !port.empty() && error == std::errc() && end == port.data() + port.size() &&
           value <= 65535;
}

// The address up to its path, and the path, of a base address: scheme "://" host [":" port]
// [path]. Nothing when it is not such an address, or carries user info, a query or a fragment.
struct BaseAddressParts {
    std::string_view origin;
    std::string_view path;
};

std::optional<BaseAddressParts> parseBaseAddress(std::string_view address) {
    const auto schemeEnd = address.find("://");
    if (schemeEnd == std::string_view::npos || !isScheme(address.substr(0, schemeEnd)) ||
        address.find_first_of("?#") != std::string_view::npos) {
        return std::nullopt;
    }
    const auto authorityStart = schemeEnd + 3;
    const auto pathStart = std::min(address.find('/', authorityStart), address.size());
    const auto authority = address.substr(authorityStart, pathStart - authorityStart);
    if (authority.find('@') != std::string_view::npos) {
        return std::nullopt;
    }
    // A port follows the last ":" outside an IPv6 literal.
    auto host = authority;
    const auto colon = authority.rfind(':');
    if (colon != std::string_view::npos && authority.find(']', colon) == std::string_view::npos) {
        if (!isPort(authority.substr(colon + 1))) {
            return std::nullopt;
        }
        host = authority.substr(0, colon);
    }
    const auto path = address.substr(pathStart);
    if (!isHost(host) || !isEncodedText(path, isPathCharacter)) {
        return std::nullopt;
    }
    return BaseAddressParts{address.substr(0, pathStart), path};
}

const std::string* find(const ApiParameters& parameters, const char* key) {
    auto found = parameters.find(key);
    return found == parameters.end() ? nullptr : &found->second;
}

std::int64_t retryCount(const std::string* text) {
    std::int64_t count = 0;
    if (text == nullptr) {
        return 0;
    }
    auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), count);
    return error == std::errc() && end == text->data() + text->size() ? count : 0;
}

std::string queryOf(const ApiParameters& parameters) {
    std::string query;
    for (const auto& [key, value] : parameters) {
        if (!key.starts_with(kQueryPrefix)) {
            continue;
        }
        query += query.empty() ? "" : "&";
        query += percentEncode(std::string_view(key).substr(2), isUnreserved);
        query += '=';
        query += ApiRequestBuilder::encodeQueryValue(value);
    }
    return query;
}

platform::HttpHeaders headersOf(const ApiParameters& parameters) {
    platform::HttpHeaders headers;
    for (const auto& [key, value] : parameters) {
        if (!key.starts_with(kHeaderPrefix)) {
            continue;
        }
        auto name = key.substr(2);
        if (!platform::isHttpToken(name)) {
            throw TextError("Internal framework error: invalid header name");
        }
        if (!platform::isHeaderValue(value)) {
            throw TextError("Internal framework error: invalid value of header \"" + name + "\"");
        }
        headers.emplace_back(std::move(name), value);
    }
    return headers;
}

}  // namespace

std::string ApiRequestBuilder::encodeQueryValue(std::string_view value) {
    return percentEncode(percentEncode(value, isUnreserved), [](char c) { return c != '%'; });
}

std::chrono::milliseconds ApiRequestBuilder::timeout(const std::string* text,
                                                     std::chrono::milliseconds defaultTimeout) {
    double seconds = 0;
    if (text == nullptr) {
        return defaultTimeout;
    }
    auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), seconds);
    if (error != std::errc() || end != text->data() + text->size() || !std::isfinite(seconds) ||
        seconds <= 0) {
        return defaultTimeout;
    }
    const double longest = std::chrono::duration<double>(platform::kLongestTimeout).count();
    if (seconds >= longest) {
        return platform::kLongestTimeout;
    }
    return std::chrono::milliseconds(static_cast<std::int64_t>(std::ceil(seconds * 1000)));
}

BuiltRequest ApiRequestBuilder::build(const ApiParameters& parameters,
                                      const std::string& baseAddress,
                                      std::chrono::milliseconds defaultTimeout) {
    const std::string* path = find(parameters, kPathKey);
    if (path == nullptr) {
        throw TextError(kPathNotSpecifiedText);
    }
    const std::string* method = find(parameters, kHttpMethodKey);
    if (method == nullptr) {
        throw TextError(kHttpMethodNotSpecifiedText);
    }
    auto base = parseBaseAddress(baseAddress);
    if (!base) {
        throw TextError(kInvalidBaseAddressText);
    }
    const std::string fullPath = std::string(base->path) + percentEncode(*path, isPathCharacter);
    const std::string query = queryOf(parameters);
    auto headers = headersOf(parameters);
    if (!fullPath.empty() && !fullPath.starts_with('/')) {
        throw TextError(kInvalidUrlText);
    }
    BuiltRequest built;
    built.request.url = std::string(base->origin) + fullPath + (query.empty() ? "" : "?" + query);
    built.request.method = *method;
    built.request.headers = std::move(headers);
    built.request.timeout = timeout(find(parameters, kTimeoutKey), defaultTimeout);
    if (const std::string* body = find(parameters, kBodyKey)) {
        built.request.body = Bytes(body->begin(), body->end());
    }
    built.retryCount = retryCount(find(parameters, kRetryCountKey));
    return built;
}

}  // namespace orvanpush::detail
