#pragma once

// The multipart/form-data body of a log upload, read strictly in the client's framing:
//
//   CRLF "--" B CRLF
//   "Content-Disposition: form-data; name=" '"' N '"' [ ";filename=" '"' F '"' ] CRLF
//   "Content-Type: " T CRLF CRLF
//   data
//   ... more parts, each opened by CRLF "--" B CRLF ...
//   CRLF "--" B "--" CRLF
//
// Anything else (a missing leading CRLF, a space before "filename", another header, a preamble or
// an epilogue) is refused with the place where the framing departs.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvanpush::server {

struct MultipartPart {
    std::string name;
    std::optional<std::string> filename;
    std::string contentType;
    std::string_view data;  // a view into the body that was parsed
};

struct MultipartForm {
    std::vector<MultipartPart> parts;  // in the order received
    /// Empty when the framing is exact; otherwise where and how it departs.
    std::string problem;
};

MultipartForm parseMultipartForm(std::string_view body, std::string_view boundary);

}  // namespace orvanpush::server
