#pragma once

// The multipart/form-data body of a request, described by "mp." entries of its parameters:
//
//   ApiParameters parameters{{"mp.client.v", "c1"}, {"mp.client.ct", "text/plain; charset=utf-8"},
//                            {"mp.logfile.v", "/logs/a.log.zip"}, {"mp.logfile.ct", "text/plain"},
//                            {"mp.logfile.f", "true"}};
//   MultipartBody body = MultipartFormData::build(parameters);
//   // CRLF "--" B CRLF "Content-Disposition: form-data; name=\"client\"" CRLF
//   // "Content-Type: text/plain; charset=utf-8" CRLF CRLF "c1" CRLF "--" B CRLF ...
//   // ... file bytes CRLF "--" B "--" CRLF

#include <string>
#include <string_view>

#include "api/ApiParameters.h"
#include "orvanpush/Types.h"

namespace orvanpush::detail {

struct MultipartBody {
    /// A new upper-case UUID per body.
    std::string boundary;
    Bytes bytes;

    /// "multipart/form-data; boundary=" and the boundary.
    std::string contentType() const;
};

class MultipartFormData {
  public:
    /// "mp." + field + ".v": the field's value, or the path of the file whose bytes it sends.
    static std::string valueKey(std::string_view field);
    /// "mp." + field + ".ct": the field's content type ("text/plain" when absent).
    static std::string contentTypeKey(std::string_view field);
    /// "mp." + field + ".f": "true" when the value is the path of a file to send.
    static std::string fileFlagKey(std::string_view field);

    /// One part per field that has a value, in the order of the keys. A file part names the
    /// last component of its path as its filename, with CR, LF, NUL and double quotes replaced
    /// by "_". Throws TextError "Internal framework error: empty multipart data" without a part;
    /// "Internal framework error: invalid multipart field" when a field name or content type
    /// holds CR, LF, NUL or a double quote (they would forge part headers) or the content type
    /// is empty (a header without a value); and
    /// "Can not get data from file: " + path for a file that cannot be read.
    static MultipartBody build(const ApiParameters& parameters);
};

}  // namespace orvanpush::detail
