#include "orvanpush/platform/Console.h"

#include <cstdio>
#include <memory>
#include <mutex>

namespace orvanpush::platform {
namespace {

struct ConsoleState {
    std::mutex mutex;
    Console::Writer writer;
    Console::Destination destination = Console::Destination::standardStreams;
};

ConsoleState& state() {
    static ConsoleState instance;
    return instance;
}

void write(std::FILE* stream, std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

void print(std::string_view line, bool isError) {
    auto& console = state();
    std::lock_guard lock(console.mutex);
    if (console.writer) {
        console.writer(line);
        return;
    }
    switch (console.destination) {
        case Console::Destination::standardStreams:
            write(isError ? stderr : stdout, line);
            break;
        case Console::Destination::standardError:
            write(stderr, line);
            break;
        case Console::Destination::nowhere:
            break;
    }
}

}  // namespace

void Console::printLine(std::string_view line) {
    print(line, false);
}

void Console::printLogLine(std::string_view line, bool isError) {
    if (line.ends_with('\n')) {
        line.remove_suffix(1);
    }
    print(line, isError);
}

void Console::redirect(Writer writer) {
    auto& console = state();
    std::lock_guard lock(console.mutex);
    console.writer = std::move(writer);
}

void Console::sendTo(Destination destination) {
    auto& console = state();
    std::lock_guard lock(console.mutex);
    console.writer = nullptr;
    console.destination = destination;
}

}  // namespace orvanpush::platform
