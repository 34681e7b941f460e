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

void appendHex(std::string& line, std::uint64_t value) {
    char digits[16];
    auto end = std::to_chars(digits, digits + sizeof digits, value, 16).ptr;
    auto length = static_cast<std::size_t>(end - digits);
    if (length < 8) {
        line.append(8 - length, '0');
    }
    for (char* digit = digits; digit != end; ++digit) {
        line += (*digit >= 'a') ? static_cast<char>(*digit - 'a' + 'A') : *digit;
    }
}

template <class Integer>
void appendDecimal(std::string& line, Integer value) {
    char digits[24];
    auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    line.append(digits, end);
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

bool TimestampLogFormatter::appendTo(std::string& line, const LogEntry& entry) const {
    if (dateFormatter_) {
        line += dateFormatter_->string(entry.timestamp);
        return true;
    }
    // Whole seconds and the fraction apart: the nanosecond count as one double would lose the
    // fraction's last digits.
    auto sinceEpoch = entry.timestamp.time_since_epoch();
    auto seconds = std::chrono::floor<std::chrono::seconds>(sinceEpoch);
    std::chrono::duration<double> fraction = sinceEpoch - seconds;
    line += platform::formatDouble(static_cast<double>(seconds.count()) + fraction.count());
    return true;
}

bool SeverityLogFormatter::appendTo(std::string& line, const LogEntry& entry) const {
    std::string_view text = orvanpush::format(style_.textRepresentation(), entry.severity);
    if (style_.kind() != SeverityStyle::Kind::custom) {
        line += text;
        return true;
    }
    if (auto width = style_.truncateAtWidth(); width && *width >= 0) {
        text = leadingCharacters(text, static_cast<std::size_t>(*width));
    }
    std::size_t padding = 0;
    if (auto width = style_.padToWidth(); width && *width >= 0) {
        auto length = characterCount(text);
        auto target = static_cast<std::size_t>(*width);
        padding = length < target ? target - length : 0;
    }
    if (style_.rightAlign()) {
        line.append(padding, ' ').append(text);
    } else {
        line.append(text).append(padding, ' ');
    }
    return true;
}

bool DelimiterLogFormatter::appendTo(std::string& line, const LogEntry&) const {
    line += style_.delimiter();
    return true;
}

bool CallingThreadLogFormatter::appendTo(std::string& line, const LogEntry& entry) const {
    if (style_ == CallingThreadStyle::hex) {
        appendHex(line, entry.callingThreadID);
    } else {
        appendDecimal(line, entry.callingThreadID);
    }
    return true;
}

bool CallSiteLogFormatter::appendTo(std::string& line, const LogEntry& entry) const {
    std::string_view name = fileName(entry.callingFilePath);
    line += name.empty() ? std::string_view("redacted") : name;
    line += ':';
    appendDecimal(line, entry.callingFileLine);
    return true;
}

bool StackFrameLogFormatter::appendTo(std::string& line, const LogEntry& entry) const {
    line += entry.callingStackFrame;
    return true;
}

bool ContextLogFormatter::appendTo(std::string& line, const LogEntry& entry) const {
    if (!entry.context) {
        return false;
    }
    line += *entry.context;
    return true;
}

bool ModuleLogFormatter::appendTo(std::string& line, const LogEntry& entry) const {
    line += toString(entry.loggerModule);
    return true;
}

bool ProcessNameLogFormatter::appendTo(std::string& line, const LogEntry& entry) const {
    line += entry.processName;
    return true;
}

bool ProcessIDLogFormatter::appendTo(std::string& line, const LogEntry& entry) const {
    appendDecimal(line, entry.processID);
    return true;
}

bool LiteralLogFormatter::appendTo(std::string& line, const LogEntry&) const {
    line += literal_;
    return true;
}

bool PayloadMessageLogFormatter::appendTo(std::string& line, const LogEntry& entry) const {
    const auto* message = std::get_if<LogEntry::Message>(&entry.payload);
    if (message == nullptr) {
        return false;
    }
    line += message->text;
    return true;
}

bool PayloadTraceLogFormatter::appendTo(std::string& line, const LogEntry& entry) const {
    if (!std::holds_alternative<LogEntry::Trace>(entry.payload)) {
        return false;
    }
    line += entry.callingStackFrame;
    return true;
}

bool PayloadValueLogFormatter::appendTo(std::string& line, const LogEntry& entry) const {
    const auto* value = std::get_if<LogEntry::Value>(&entry.payload);
    if (value == nullptr) {
        return false;
    }
    if (!value->value) {
        line += "= nil";
    } else {
        line.append("= ")
            .append(value->value->typeName())
            .append(": ")
            .append(value->value->text());
    }
    return true;
}

}  // namespace orvanpush
