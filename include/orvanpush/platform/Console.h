#pragma once

// The few lines the library writes for a person (key generation, migrated settings, the log
// server's answer, recorder errors) go through one console writer: standard output by default.

#include <functional>
#include <string_view>

namespace orvanpush::platform {

/// Static members only; both are thread-safe, and lines never interleave.
class Console {
  public:
    /// Receives one line, without its line end.
    using Writer = std::function<void(std::string_view line)>;

    /// Writes `line` and a line feed through the current writer.
    static void printLine(std::string_view line);
    /// Sends every later line to `writer`; an empty writer restores standard output.
    static void redirect(Writer writer);
};

}  // namespace orvanpush::platform
