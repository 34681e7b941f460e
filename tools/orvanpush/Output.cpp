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

// Text from elsewhere (titles, ids, the server's descriptions) as a terminal may show it: invalid
// UTF-8 as U+FFFD, and the control characters a terminal would act on (clear the screen, retitle
// the window, move the cursor) written out as escapes: "\x1B", "\u009B".
std::string printable(const std::string& text, bool keepLineBreaks = false) {
    constexpr const char* digits = "0123456789ABCDEF";
    const auto escaped = [&](const char* prefix, unsigned char code) {
        return std::string(prefix) + digits[code >> 4] + digits[code & 0xF];
    };
    const std::string valid = repairUtf8(text);
    std::string shown;
    shown.reserve(valid.size());
    for (std::size_t at = 0; at < valid.size(); ++at) {
        const auto byte = static_cast<unsigned char>(valid[at]);
        const auto next = at + 1 < valid.size() ? static_cast<unsigned char>(valid[at + 1]) : 0;
        if (byte == 0xC2 && next >= 0x80 && next < 0xA0) {  // U+0080 to U+009F
            shown += escaped("\\u00", next);
            ++at;
        } else if ((byte < 0x20 && !(keepLineBreaks && byte == '\n')) || byte == 0x7F) {
            shown += escaped("\\x", byte);
        } else {
            shown += valid[at];
        }
    }
    return shown;
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
        std::cout << printable(line) << '\n';
    }
    std::cout.flush();
    if (failed) {
        std::cerr << "error: " << printable(object["message"].get<std::string>(), true)
                  << std::endl;
    }
}

void Output::note(const std::string& line) const {
    if (!options_.json) {
        std::cout << printable(line) << std::endl;
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
        std::cerr << "error: " << printable(object["message"].get<std::string>(), true)
                  << std::endl;
    }
}

}  // namespace orvanpush::cli
