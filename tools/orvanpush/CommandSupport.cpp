#include "CommandSupport.h"

#include <cstdio>
#include <ctime>

namespace orvanpush::cli {

int completionTimedOut(const Output& out) {
    out.error("timeout", "the library's completion did not come within the time-out");
    return kExitInternal;
}

Json noResult() {
    return {{"result", "error"},
            {"errorCode", nullptr},
            {"error", "server"},
            {"message", "the request ended without a result: run the command again"}};
}

Json orNull(const std::optional<std::string>& value) {
    return value ? Json(*value) : Json(nullptr);
}

std::string shown(const std::optional<std::string>& value) {
    return value.value_or("(none)");
}

std::string isoDate(Date date) {
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(date.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(millis / 1000 - (millis % 1000 < 0));
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char text[40];
    const auto length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &parts);
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03dZ",
                  static_cast<int>((millis % 1000 + 1000) % 1000));
    return std::string(text, length) + fraction;
}

Json dateOrNull(const std::optional<Date>& date) {
    return date ? Json(isoDate(*date)) : Json(nullptr);
}

Json resultObject(const BaseApiResult& result) {
    Json object{{"result", toString(result.getResultKind())}, {"errorCode", result.getErrorCode()}};
    if (result.getErrorDescription()) {
        object["errorDescription"] = *result.getErrorDescription();
    }
    return object;
}

std::vector<std::string> resultLines(const BaseApiResult& result) {
    if (result.getResultKind() == ResultKind::success) {
        return {"result: success"};
    }
    const auto& description = result.getErrorDescription();
    return {"result: error " + std::to_string(result.getErrorCode()) +
            (description ? ": " + *description : "")};
}

int exitCodeOf(const std::optional<BaseApiResult>& result) {
    return result && result->getResultKind() == ResultKind::success ? kExitSuccess : kExitError;
}

int printResultOf(const CliContext& context, const std::function<void(ResultCompletion)>& request) {
    Awaited<std::optional<BaseApiResult>> awaited;
    request(awaited.completion());
    const auto answer = awaited.wait(context.timeout());
    if (!answer) {
        return completionTimedOut(context.out);
    }
    if (!*answer) {
        context.out.result(noResult(), {"result: (none)"});
        return kExitError;
    }
    context.out.result(resultObject(**answer), resultLines(**answer));
    return exitCodeOf(*answer);
}

}  // namespace orvanpush::cli
