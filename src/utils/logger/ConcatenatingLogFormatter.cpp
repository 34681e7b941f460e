#include "orvanpush/logger/ConcatenatingLogFormatter.h"

namespace orvanpush {

ConcatenatingLogFormatter::ConcatenatingLogFormatter(LogFormatters formatters, bool hardFail)
    : formatters_(std::move(formatters)), hardFail_(hardFail) {
    appending_.reserve(formatters_.size());
    for (const auto& formatter : formatters_) {
        appending_.push_back(appendingOf(formatter));
    }
}

bool ConcatenatingLogFormatter::appendTo(std::string& line, const LogEntry& entry) const {
    const auto start = line.size();
    line.reserve(start + 160);  // a typical line fits, so appending the pieces does not reallocate
    bool collected = false;
    for (std::size_t i = 0; i < formatters_.size(); ++i) {
        if (append(*formatters_[i], appending_[i], line, entry)) {
            collected = true;
        } else if (hardFail_) {
            line.resize(start);
            return false;
        }
    }
    return collected;
}

}  // namespace orvanpush
