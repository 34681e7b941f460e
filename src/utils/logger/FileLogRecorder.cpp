#include "orvanpush/logger/FileLogRecorder.h"

#include <utility>

#include "platform/FileSystem.h"

namespace orvanpush {
namespace {

// Two memchr scans; find_first_of would search both breaks anew for every character.
bool hasLineBreak(std::string_view text) {
    return text.find('\n') != text.npos || text.find('\r') != text.npos;
}

bool endsWithLineBreak(std::string_view text) {
    return !text.empty() && (text.back() == '\n' || text.back() == '\r');
}

// A line break inside an entry's text would let it pass for several entries, or forge one.
std::string escapeLineBreaks(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size() + 8);
    for (char c : text) {
        switch (c) {
            case '\n':
                escaped += "\\n";
                break;
            case '\r':
                escaped += "\\r";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

}  // namespace

std::shared_ptr<FileLogRecorder> FileLogRecorder::open(
    std::string filePath, LogFormatters formatters,
    std::shared_ptr<platform::DispatchQueue> queue) {
    auto file = platform::AppendFile::open(filePath);
    if (!file) {
        return nullptr;
    }
    return std::make_shared<FileLogRecorder>(
        Key(), std::move(filePath), std::move(formatters), std::move(queue),
        std::make_unique<platform::AppendFile>(std::move(*file)));
}

FileLogRecorder::FileLogRecorder(Key, std::string filePath, LogFormatters formatters,
                                 std::shared_ptr<platform::DispatchQueue> queue,
                                 std::unique_ptr<platform::AppendFile> file)
    : LogRecorderBase(std::move(formatters), std::move(queue)),
      filePath_(std::move(filePath)),
      file_(std::move(file)) {}

FileLogRecorder::~FileLogRecorder() = default;

void FileLogRecorder::record(std::string_view message, const LogEntry& entry,
                             platform::DispatchQueue&, bool) {
    if (!formatters().empty()) {
        if (auto text = formatters().front()->format(entry)) {
            // The text's own final line break is escaped with the rest, so the line end that
            // it stood for is written as a real one.
            const bool lineEnd = needsLineEnd(message) || endsWithLineBreak(*text);
            std::string line = hasLineBreak(*text) ? escapeLineBreaks(*text) : std::move(*text);
            if (lineEnd) {
                line += '\n';
            }
            file_->write(line);
        }
    }
}

}  // namespace orvanpush
