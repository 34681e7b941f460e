#include <cstdio>
#include <iostream>

#include "Cli.h"

namespace orvanpush::cli {

void Output::result(const Json& object, const std::vector<std::string>& lines) const {
    if (options_.json) {
        std::cout << object.dump() << std::endl;
        return;
    }
    for (const auto& line : lines) {
        std::cout << line << '\n';
    }
    std::cout.flush();
}

void Output::note(const std::string& line) const {
    if (!options_.json) {
        std::cout << line << std::endl;
    }
}

void Output::failure(const std::string& description) const {
    if (options_.json) {
        std::cout << Json{{"result", "error"}, {"errorDescription", description}}.dump()
                  << std::endl;
    } else {
        std::cerr << "error: " << description << std::endl;
    }
}

void Output::thrown(const std::string& kind, const std::string& payload,
                    const std::string& description) const {
    if (options_.json) {
        std::cout << Json{{"error", kind}, {"payload", payload}}.dump() << std::endl;
    } else {
        std::cerr << "error: " << description << std::endl;
    }
}

}  // namespace orvanpush::cli
