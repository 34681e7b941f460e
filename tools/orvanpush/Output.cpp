#include <cstdint>
#include <iostream>
#include <optional>

#include "Cli.h"
#include "text/Utf8Text.h"

namespace orvanpush::cli {
namespace {

using detail::repairUtf8;

constexpr auto replaceInvalidUtf8 = Json::error_handler_t::replace;

std::string jsonLine(const Json& object) {
    return object.dump(-1, ' ', false, replaceInvalidUtf8);
}

std::optional<std::string> textAt(const Json& object, const char* key) {
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? std::optional(found->get<std::string>())
                                                       : std::nullopt;
}

// A result record's error code; 0 when it has none.
std::int64_t codeIn(const Json& object) {
    const auto found = object.find("errorCode");
    return found != object.end() && found->is_number_integer() ? found->get<std::int64_t>() : 0;
}

}  // namespace

void Output::result(Json object, const std::vector<std::string>& lines) const {
    if (!object.contains("result")) {
        object["result"] = "success";
    }
    const bool failed = object["result"] == "error";
    if (failed && !object.contains("message")) {
        object["message"] =
            remedyForResult(codeIn(object), textAt(object, "errorDescription"), situation_);
        object.emplace("error", "server");
    }
    if (options_.json) {
        std::cout << jsonLine(object) << std::endl;
        return;
    }
    for (const auto& line : lines) {
        std::cout << repairUtf8(line) << '\n';
    }
    std::cout.flush();
    if (failed) {
        std::cerr << "error: " << repairUtf8(object["message"].get<std::string>()) << std::endl;
    }
}

void Output::note(const std::string& line) const {
    if (!options_.json) {
        std::cout << repairUtf8(line) << std::endl;
    }
}

void Output::failure(const std::string& kind, const std::string& description,
                     const std::string& message) const {
    printError({{"result", "error"},
                {"error", kind},
                {"errorDescription", description},
                {"message", message}});
}

void Output::thrown(const OrvanPushSDKError& error) const {
    printError({{"result", "error"},
                {"error", toString(error.kind())},
                {"payload", error.payload()},
                {"message", remedyForThrown(error, situation_)}});
}

void Output::error(const std::string& kind, const std::string& message) const {
    printError({{"result", "error"}, {"error", kind}, {"message", message}});
}

void Output::printError(Json object) const {
    if (options_.json) {
        std::cout << jsonLine(object) << std::endl;
    } else {
        std::cerr << "error: " << repairUtf8(object["message"].get<std::string>()) << std::endl;
    }
}

}  // namespace orvanpush::cli
