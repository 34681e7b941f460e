#include "sdk/PrintedText.h"

#include <cstdio>

namespace orvanpush::detail {
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

std::string printedString(std::string_view text) {
    std::string out = "\"";
    out.reserve(text.size() + 2);
    for (unsigned char c : text) {
        appendEscaped(out, c);
    }
    out += '"';
    return out;
}

}  // namespace orvanpush::detail
