#include "orvanpush/logger/FieldLogFormatters.h"

#include <charconv>
#include <chrono>
#include <cstddef>
#include <string_view>
#include <variant>

#include "platform/DateFormatter.h"

namespace orvanpush {
namespace {

std::size_t characterCount(std::string_view text) {
    std::size_t count = 0;
    for (char byte : text) {
        if ((static_cast<unsigned char>(byte) & 0xC0) != 0x80) {
            ++count;
        }
    }
    return count;
}

// The first `count` characters (code points) of UTF-8 `text`.
std::string_view leadingCharacters(std::string_view text, std::size_t count) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && seen++ == count) {
            return text.substr(0, i);
        }
    }
    return text;
}

std::string hexText(std::uint64_t value) {
    char digits[16];
    auto end = std::to_chars(digits, digits + sizeof digits, value, 16).ptr;
    std::size_t length = static_cast<std::size_t>(end - digits);
    std::string text(length < 8 ? 8 - length : 0, '0');
    for (char* digit = digits; digit != end; ++digit) {
        text += (*digit >= 'a') ? static_cast<char>(*digit - 'a' + 'A') : *digit;
    }
    return text;
}

std::string_view fileName(std::string_view path) {
    while (!path.empty() && path.back() == '/') {
        path.remove_suffix(1);
    }
    auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

TimestampLogFormatter::TimestampLogFormatter(TimestampStyle style, const std::string& timeZone)
    : style_(std::move(style)) {
    if (style_.kind() != TimestampStyle::Kind::unix_) {
        dateFormatter_ =
            std::make_shared<const platform::DateFormatter>(style_.pattern(), timeZone);
    }
}

std::optional<std::string> TimestampLogFormatter::format(const LogEntry& entry) const {
    if (dateFormatter_) {
        return dateFormatter_->string(entry.timestamp);
    }
    // Whole seconds and the fraction apart: the nanosecond count as one double would lose the
    // fraction's last digits.
    auto sinceEpoch = entry.timestamp.time_since_epoch();
    auto seconds = std::chrono::floor<std::chrono::seconds>(sinceEpoch);
    std::chrono::duration<double> fraction = sinceEpoch - seconds;
    return platform::formatDouble(static_cast<double>(seconds.count()) + fraction.count());
}

std::optional<std::string> SeverityLogFormatter::format(const LogEntry& entry) const {
    std::string_view text = orvanpush::format(style_.textRepresentation(), entry.severity);
    if (style_.kind() != SeverityStyle::Kind::custom) {
        return std::string(text);
    }
    if (auto width = style_.truncateAtWidth(); width && *width >= 0) {
        text = leadingCharacters(text, static_cast<std::size_t>(*width));
    }
    std::string result(text);
    std::size_t length = characterCount(text);
    if (auto width = style_.padToWidth(); width && *width >= 0) {
        auto target = static_cast<std::size_t>(*width);
        if (length < target) {
            std::string padding(target - length, ' ');
            result = style_.rightAlign() ? padding + result : result + padding;
        }
    }
    return result;
}

std::optional<std::string> DelimiterLogFormatter::format(const LogEntry&) const {
    return style_.delimiter();
}

std::optional<std::string> CallingThreadLogFormatter::format(const LogEntry& entry) const {
    if (style_ == CallingThreadStyle::hex) {
        return hexText(entry.callingThreadID);
    }
    return std::to_string(entry.callingThreadID);
}

std::optional<std::string> CallSiteLogFormatter::format(const LogEntry& entry) const {
    std::string_view name = fileName(entry.callingFilePath);
    std::string text(name.empty() ? std::string_view("redacted") : name);
    text += ':';
    text += std::to_string(entry.callingFileLine);
    return text;
}

std::optional<std::string> StackFrameLogFormatter::format(const LogEntry& entry) const {
    return entry.callingStackFrame;
}

std::optional<std::string> ContextLogFormatter::format(const LogEntry& entry) const {
    return entry.context;
}

std::optional<std::string> ModuleLogFormatter::format(const LogEntry& entry) const {
    return toString(entry.loggerModule);
}

std::optional<std::string> ProcessNameLogFormatter::format(const LogEntry& entry) const {
    return entry.processName;
}

std::optional<std::string> ProcessIDLogFormatter::format(const LogEntry& entry) const {
    return std::to_string(entry.processID);
}

std::optional<std::string> LiteralLogFormatter::format(const LogEntry&) const {
    return literal_;
}

std::optional<std::string> PayloadMessageLogFormatter::format(const LogEntry& entry) const {
    if (const auto* message = std::get_if<LogEntry::Message>(&entry.payload)) {
        return message->text;
    }
    return std::nullopt;
}

std::optional<std::string> PayloadTraceLogFormatter::format(const LogEntry& entry) const {
    if (std::holds_alternative<LogEntry::Trace>(entry.payload)) {
        return entry.callingStackFrame;
    }
    return std::nullopt;
}

std::optional<std::string> PayloadValueLogFormatter::format(const LogEntry& entry) const {
    const auto* value = std::get_if<LogEntry::Value>(&entry.payload);
    if (value == nullptr) {
        return std::nullopt;
    }
    if (!value->value) {
        return "= nil";
    }
    return "= " + value->value->typeName() + ": " + value->value->text();
}

}  // namespace orvanpush
