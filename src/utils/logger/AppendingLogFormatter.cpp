#include "orvanpush/logger/AppendingLogFormatter.h"

namespace orvanpush {

std::optional<std::string> AppendingLogFormatter::format(const LogEntry& entry) const {
    std::string text;
    if (!appendTo(text, entry)) {
        return std::nullopt;
    }
    return text;
}

const AppendingLogFormatter* AppendingLogFormatter::appendingOf(const LogFormatterPtr& formatter) {
    return dynamic_cast<const AppendingLogFormatter*>(formatter.get());
}

bool AppendingLogFormatter::append(const LogFormatter& formatter,
                                   const AppendingLogFormatter* appending, std::string& line,
                                   const LogEntry& entry) {
    if (appending != nullptr) {
        return appending->appendTo(line, entry);
    }
    auto text = formatter.format(entry);
    if (!text) {
        return false;
    }
    line += *text;
    return true;
}

}  // namespace orvanpush
