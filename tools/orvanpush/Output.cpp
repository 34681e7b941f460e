#include <iostream>

#include "Cli.h"

namespace orvanpush::cli {
namespace {

constexpr auto replaceInvalidUtf8 = Json::error_handler_t::replace;

std::string jsonLine(const Json& object) {
    return object.dump(-1, ' ', false, replaceInvalidUtf8);
}

// `text` with every byte that is not part of valid UTF-8 replaced by U+FFFD, as in JSON output.
std::string printable(const std::string& text) {
    return Json::parse(jsonLine(text)).get<std::string>();
}

}  // namespace

void Output::result(const Json& object, const std::vector<std::string>& lines) const {
    if (options_.json) {
        std::cout << jsonLine(object) << std::endl;
        return;
    }
    for (const auto& line : lines) {
        std::cout << printable(line) << '\n';
    }
    std::cout.flush();
}

void Output::note(const std::string& line) const {
    if (!options_.json) {
        std::cout << printable(line) << std::endl;
    }
}

void Output::failure(const std::string& description) const {
    if (options_.json) {
        std::cout << jsonLine({{"result", "error"}, {"errorDescription", description}})
                  << std::endl;
    } else {
        std::cerr << "error: " << printable(description) << std::endl;
    }
}

void Output::thrown(const std::string& kind, const std::string& payload,
                    const std::string& description) const {
    if (options_.json) {
        std::cout << jsonLine({{"error", kind}, {"payload", payload}}) << std::endl;
    } else {
        std::cerr << "error: " << printable(description) << std::endl;
    }
}

void Output::error(const std::string& kind, const std::string& message) const {
    if (options_.json) {
        std::cout << jsonLine({{"error", kind}, {"message", message}}) << std::endl;
    } else {
        std::cerr << "error: " << printable(message) << std::endl;
    }
}

}  // namespace orvanpush::cli
