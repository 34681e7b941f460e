#include "orvanpush/logger/ConcatenatingLogFormatter.h"

namespace orvanpush {

std::optional<std::string> ConcatenatingLogFormatter::format(const LogEntry& entry) const {
    std::string line;
    bool collected = false;
    for (const auto& formatter : formatters_) {
        auto piece = formatter->format(entry);
        if (!piece) {
            if (hardFail_) {
                return std::nullopt;
            }
            continue;
        }
        line += *piece;
        collected = true;
    }
    if (!collected) {
        return std::nullopt;
    }
    return line;
}

}  // namespace orvanpush
