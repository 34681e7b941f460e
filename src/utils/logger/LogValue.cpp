#include "orvanpush/logger/LogValue.h"

#include <cstdio>

#include "platform/DateFormatter.h"
#include "platform/ProcessInfo.h"

namespace orvanpush {
namespace {

void appendEscaped(std::string& out, unsigned char c) {
    switch (c) {
        case '\\':
            out += "\\\\";
            return;
        case '"':
            out += "\\\"";
            return;
        case '\'':
            out += "\\'";
            return;
        case '\t':
            out += "\\t";
            return;
        case '\n':
            out += "\\n";
            return;
        case '\r':
            out += "\\r";
            return;
        case '\0':
            out += "\\0";
            return;
        default:
            break;
    }
    if (c < 0x20 || c == 0x7F) {
        char escaped[12];
        std::snprintf(escaped, sizeof escaped, "\\u{%x}", c);
        out += escaped;
    } else {
        out += static_cast<char>(c);
    }
}

}  // namespace

std::string LogValue::demangledTypeName(const std::type_info& type) {
    return platform::demangledName(type);
}

std::string LogValue::doubleText(double value) {
    return platform::formatDouble(value);
}

std::string LogValue::quotedText(std::string_view text) {
    std::string quoted = "\"";
    quoted.reserve(text.size() + 2);
    for (unsigned char c : text) {
        appendEscaped(quoted, c);
    }
    quoted += '"';
    return quoted;
}

}  // namespace orvanpush
