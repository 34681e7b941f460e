#include "orvanpush/platform/Console.h"

#include <cstdio>
#include <memory>
#include <mutex>

namespace orvanpush::platform {
namespace {

struct ConsoleState {
    std::mutex mutex;
    Console::Writer writer;
};

ConsoleState& state() {
    static ConsoleState instance;
    return instance;
}

}  // namespace

void Console::printLine(std::string_view line) {
    auto& console = state();
    std::lock_guard lock(console.mutex);
    if (console.writer) {
        console.writer(line);
        return;
    }
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void Console::redirect(Writer writer) {
    auto& console = state();
    std::lock_guard lock(console.mutex);
    console.writer = std::move(writer);
}

}  // namespace orvanpush::platform
