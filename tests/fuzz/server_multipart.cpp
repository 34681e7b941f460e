// The reference server's multipart/form-data parser on arbitrary bytes: the first line is the
// boundary, the rest the body. The parser is strict, so a body it accepts must be exactly what
// its parts give when framed again.

#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "push-server/MultipartForm.h"

using namespace orvanpush::server;

namespace {

std::string framed(const MultipartForm& form, std::string_view boundary) {
    const std::string delimiter = "\r\n--" + std::string(boundary);
    std::string body;
    for (const auto& part : form.parts) {
        body += delimiter + "\r\nContent-Disposition: form-data; name=\"" + part.name + "\"";
        if (part.filename) {
            body += ";filename=\"" + *part.filename + "\"";
        }
        body += "\r\nContent-Type: " + part.contentType + "\r\n\r\n";
        body += part.data;
    }
    return body + delimiter + "--\r\n";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto newline = input.find('\n');
    if (newline == std::string_view::npos) {
        return 0;
    }
    const auto boundary = input.substr(0, newline);
    const auto body = input.substr(newline + 1);
    const MultipartForm form = parseMultipartForm(body, boundary);
    fuzz::require(!form.problem.empty() || framed(form, boundary) == body);
    return 0;
}
