#pragma once

// POST "/saveLogFile" to the log server: a multipart form with the subscriber's client and
// device ids and, when there is one, a log archive and its name.

#include <optional>
#include <string>

#include "api/ApiTarget.h"
#include "api/UploadLogsResult.h"
#include "platform/UrlSession.h"

namespace orvanpush::detail {

struct UploadLogsObject {
    RequestHeaders headers{};
    int retryCount = 0;
    std::optional<double> requestTimeout{};
    std::string clientId{};
    std::string deviceId{};
    /// The path of the file to send.
    std::optional<std::string> pathToFile{};
    /// The file's name, sent as a field of its own.
    std::optional<std::string> filename{};
};

/// The names of the form's fields.
enum class MultipartParams { client, device, logfile, filename };

/// "client", "device", "logfile", "filename".
const char* toString(MultipartParams field);

struct UploadLogsTarget {
    using Result = UploadLogsResult;

    UploadLogsObject value;

    /// Path, method, retry count, timeout and headers, and the form: "client" and "device"
    /// (text/plain; charset=utf-8), "logfile" (text/plain, the file at pathToFile) and
    /// "filename" (text/plain; charset=utf-8) when present.
    ApiParameters parameters() const;
    /// Prints "Result: " and the answer (or "None" when it is not UTF-8) on the console, then
    /// decodes it.
    static Result convert(const platform::HttpResponse& response);
};

}  // namespace orvanpush::detail
