#include "orvanpush/logger/LogValue.h"

#include "platform/DateFormatter.h"
#include "platform/ProcessInfo.h"

namespace orvanpush::detail {

std::string demangledTypeName(const std::type_info& type) {
    return platform::demangledName(type);
}

std::string doubleText(double value) {
    return platform::formatDouble(value);
}

std::string quotedText(std::string_view text) {
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted += '"';
    for (char c : text) {
        switch (c) {
            case '\\':
                quoted += "\\\\";
                break;
            case '"':
                quoted += "\\\"";
                break;
            case '\n':
                quoted += "\\n";
                break;
            case '\r':
                quoted += "\\r";
                break;
            case '\t':
                quoted += "\\t";
                break;
            default:
                quoted += c;
        }
    }
    quoted += '"';
    return quoted;
}

}  // namespace orvanpush::detail
