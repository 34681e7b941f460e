#include "sdk/PrintedText.h"

#include "orvanpush/logger/LogValue.h"

namespace orvanpush::detail {

std::string printedString(std::string_view text) {
    return LogValue::quotedText(text);
}

std::string printedDictionary(const std::map<std::string, std::string>& dictionary) {
    if (dictionary.empty()) {
        return "[:]";
    }
    std::string printed = "[";
    for (const auto& [key, value] : dictionary) {
        if (printed.size() > 1) {
            printed += ", ";
        }
        printed += printedString(key) + ": " + printedString(value);
    }
    return printed + "]";
}

}  // namespace orvanpush::detail
