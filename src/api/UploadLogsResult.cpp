#include "api/UploadLogsResult.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <utility>

#include "api/JsonValues.h"
#include "api/ResultDecoding.h"

namespace orvanpush::detail {
namespace {

bool equalsIgnoringCase(std::string_view text, std::string_view lowercase) {
    return std::ranges::equal(
        text, lowercase, [](unsigned char a, unsigned char b) { return std::tolower(a) == b; });
}

UploadLogsResult statusOf(const Json& answer) {
    const auto status = stringMember(answer, "status");
    if (!status) {
        return UploadLogsResult::failure("Invalid data in answer: property \"status\" not found");
    }
    if (equalsIgnoringCase(*status, "success")) {
        return {.status = ResultKind::success};
    }
    if (equalsIgnoringCase(*status, "error")) {
        return UploadLogsResult::failure(stringMember(answer, "description"));
    }
    return UploadLogsResult::failure("Invalid data in answer: unknown status \"" + *status + "\"");
}

}  // namespace

UploadLogsResult UploadLogsResult::failure(std::optional<std::string> description) {
    return {.status = ResultKind::error, .description = std::move(description)};
}

UploadLogsResult UploadLogsResult::decode(const Bytes& body) {
    const Json answer = parseObject(body);
    UploadLogsResult result = statusOf(answer);
    const auto control = answer.find("sdk-logging-control");
    if (control != answer.end() && !control->is_null()) {
        result.sdkLoggingControl = SDKLoggingControl::fromJson(*control);
        if (!result.sdkLoggingControl) {
            result.description = "SDK Logging Control null!";
        }
    }
    return result;
}

}  // namespace orvanpush::detail
