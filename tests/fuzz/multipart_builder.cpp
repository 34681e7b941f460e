// The multipart body builder on arbitrary field names, content types, values and file names. It
// must refuse exactly the names and content types that could forge a part's headers (and empty
// content types), and what it builds must read back through the reference server's strict parser
// part for part.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "api/MultipartFormData.h"
#include "orvanpush/TextError.h"
#include "push-server/MultipartForm.h"

using namespace orvanpush;
using detail::MultipartFormData;

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kHeaderBreakers("\r\n\0\"", 4);
constexpr std::string_view kFileContent = "bytes of an uploaded file";

using fuzz::require;

bool forgesHeaders(std::string_view text) {
    return text.find_first_of(kHeaderBreakers) != std::string_view::npos;
}

// A file named `name` holding kFileContent, in a directory for the files the parts send, or
// nothing when no file can have that name.
std::optional<fs::path> fileNamed(const std::string& name) {
    static fuzz::TempDirectory directory{"multipart"};
    if (name.empty() || name == "." || name == ".." || name.size() > 255 ||
        name.find_first_of(std::string_view("/\0", 2)) != std::string::npos) {
        return std::nullopt;
    }
    const fs::path path = directory.path() / name;
    std::ofstream(path, std::ios::binary) << kFileContent;
    return path;
}

struct Field {
    std::string name;
    std::optional<std::string> contentType;
    std::string value;
    bool isFile = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    detail::ApiParameters parameters;
    std::vector<fs::path> made;
    for (auto n = input.ConsumeIntegralInRange(0, 3); n > 0; --n) {
        const auto name = input.ConsumeRandomLengthString(32);
        if (input.ConsumeBool()) {
            parameters[MultipartFormData::contentTypeKey(name)] =
                input.ConsumeRandomLengthString(32);
        }
        auto value = input.ConsumeRandomLengthString(64);
        parameters.erase(MultipartFormData::fileFlagKey(name));
        if (input.ConsumeBool()) {
            const auto file = fileNamed(value);
            if (!file) {
                continue;
            }
            made.push_back(*file);
            value = file->string();
            parameters[MultipartFormData::fileFlagKey(name)] = "true";
        }
        parameters[MultipartFormData::valueKey(name)] = value;
    }

    // What the parts must be, from the parameters as they ended up.
    std::vector<Field> expected;
    bool refused = false;
    for (const auto& [key, value] : parameters) {
        if (!key.starts_with("mp.") || !key.ends_with(".v") || key.size() < 5) {
            continue;
        }
        Field field{.name = key.substr(3, key.size() - 5), .value = value};
        const auto type = parameters.find(MultipartFormData::contentTypeKey(field.name));
        field.contentType = type == parameters.end() ? "text/plain" : type->second;
        const auto flag = parameters.find(MultipartFormData::fileFlagKey(field.name));
        field.isFile = flag != parameters.end() && flag->second == "true";
        refused |= forgesHeaders(field.name) || forgesHeaders(*field.contentType) ||
                   field.contentType->empty();
        expected.push_back(std::move(field));
    }

    try {
        const auto body = MultipartFormData::build(parameters);
        require(!refused && !expected.empty());
        const std::string_view text(reinterpret_cast<const char*>(body.bytes.data()),
                                    body.bytes.size());
        const auto form = server::parseMultipartForm(text, body.boundary);
        require(form.problem.empty() && form.parts.size() == expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const auto& part = form.parts[i];
            const auto& field = expected[i];
            require(part.name == field.name && part.contentType == field.contentType &&
                    part.filename.has_value() == field.isFile &&
                    !forgesHeaders(part.filename.value_or("")));
            require(part.data == (field.isFile ? kFileContent : std::string_view(field.value)));
        }
    } catch (const TextError&) {
        require(refused || expected.empty());
    }
    for (const auto& path : made) {
        fs::remove(path);
    }
    return 0;
}
