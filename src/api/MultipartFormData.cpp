#include "api/MultipartFormData.h"

#include <filesystem>
#include <optional>

#include "orvanpush/TextError.h"
#include "platform/FileSystem.h"
#include "platform/ProcessInfo.h"

namespace orvanpush::detail {
namespace {

constexpr std::string_view kPrefix = "mp.";
constexpr std::string_view kValueSuffix = ".v";
constexpr std::string_view kContentTypeSuffix = ".ct";
constexpr std::string_view kFileFlagSuffix = ".f";
constexpr std::string_view kCrlf = "\r\n";
constexpr std::string_view kHeaderBreakers("\r\n\0\"", 4);

bool isHeaderSafe(std::string_view text) {
    return text.find_first_of(kHeaderBreakers) == std::string_view::npos;
}

std::string safeFileName(const std::string& path) {
    std::string name = std::filesystem::path(path).filename().string();
    for (char& c : name) {
        if (kHeaderBreakers.find(c) != std::string_view::npos) {
            c = '_';
        }
    }
    return name;
}

// The field a key holds the value of: "client" for "mp.client.v".
std::optional<std::string_view> valueField(std::string_view key) {
    if (key.size() < kPrefix.size() + kValueSuffix.size() || !key.starts_with(kPrefix) ||
        !key.ends_with(kValueSuffix)) {
        return std::nullopt;
    }
    return key.substr(kPrefix.size(), key.size() - kPrefix.size() - kValueSuffix.size());
}

std::string entry(const ApiParameters& parameters, const std::string& key, const char* otherwise) {
    auto found = parameters.find(key);
    return found == parameters.end() ? otherwise : found->second;
}

void append(Bytes& bytes, std::string_view text) {
    bytes.insert(bytes.end(), text.begin(), text.end());
}

// The part's framing and headers, from its leading CRLF to the empty line before its data.
std::string partHead(const std::string& boundary, std::string_view field,
                     const std::string& contentType, const std::optional<std::string>& fileName) {
    std::string head;
    head.append(kCrlf).append("--").append(boundary).append(kCrlf);
    head.append("Content-Disposition: form-data; name=\"").append(field).append("\"");
    if (fileName) {
        head.append(";filename=\"").append(*fileName).append("\"");
    }
    head.append(kCrlf).append("Content-Type: ").append(contentType).append(kCrlf).append(kCrlf);
    return head;
}

}  // namespace

std::string MultipartBody::contentType() const {
    return "multipart/form-data; boundary=" + boundary;
}

std::string MultipartFormData::valueKey(std::string_view field) {
    return std::string(kPrefix).append(field).append(kValueSuffix);
}

std::string MultipartFormData::contentTypeKey(std::string_view field) {
    return std::string(kPrefix).append(field).append(kContentTypeSuffix);
}

std::string MultipartFormData::fileFlagKey(std::string_view field) {
    return std::string(kPrefix).append(field).append(kFileFlagSuffix);
}

MultipartBody MultipartFormData::build(const ApiParameters& parameters) {
    MultipartBody body{.boundary = platform::makeUuid(), .bytes = {}};
    for (const auto& [key, value] : parameters) {
        const auto field = valueField(key);
        if (!field) {
            continue;
        }
        const std::string contentType = entry(parameters, contentTypeKey(*field), "text/plain");
        if (!isHeaderSafe(*field) || contentType.empty() || !isHeaderSafe(contentType)) {
            throw TextError("Internal framework error: invalid multipart field");
        }
        const bool isFile = entry(parameters, fileFlagKey(*field), "") == "true";
        std::optional<std::string> contents;
        if (isFile) {
            contents = platform::FileSystem::readFile(value);
            if (!contents) {
                throw TextError("Can not get data from file: " + value);
            }
        }
        append(body.bytes, partHead(body.boundary, *field, contentType,
                                    isFile ? std::optional(safeFileName(value)) : std::nullopt));
        append(body.bytes, isFile ? *contents : value);
    }
    if (body.bytes.empty()) {
        throw TextError("Internal framework error: empty multipart data");
    }
    append(body.bytes, std::string(kCrlf) + "--" + body.boundary + "--" + std::string(kCrlf));
    return body;
}

}  // namespace orvanpush::detail
