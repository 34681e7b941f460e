#include "QueryString.h"

#include <algorithm>
#include <cctype>

namespace orvanpush::server {
namespace {

bool isUnreserved(unsigned char character) {
    return std::isalnum(character) != 0 || character == '-' || character == '.' ||
           character == '_' || character == '~';
}

int hexValue(char digit) {
    if (digit >= '0' && digit <= '9') {
        return digit - '0';
    }
    const int lower = std::tolower(static_cast<unsigned char>(digit));
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

std::string upperCaseEscapes(std::string_view text) {
    std::string normalised(text);
    for (std::size_t index = 0; index + 2 < normalised.size(); ++index) {
        if (normalised[index] == '%') {
            for (std::size_t digit = index + 1; digit <= index + 2; ++digit) {
                normalised[digit] =
                    static_cast<char>(std::toupper(static_cast<unsigned char>(normalised[digit])));
            }
        }
    }
    return normalised;
}

}  // namespace

std::optional<std::string> percentDecode(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t index = 0; index < text.size(); ++index) {
        if (text[index] != '%') {
            decoded += text[index];
            continue;
        }
        if (index + 2 >= text.size()) {
            return std::nullopt;
        }
        const int high = hexValue(text[index + 1]);
        const int low = hexValue(text[index + 2]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        decoded += static_cast<char>(high << 4 | low);
        index += 2;
    }
    return decoded;
}

std::string doublePercentEncode(std::string_view value) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string encoded;
    for (const char character : value) {
        const auto byte = static_cast<unsigned char>(character);
        if (isUnreserved(byte)) {
            encoded += character;
        } else {
            encoded += "%25";
            encoded += digits[byte >> 4];
            encoded += digits[byte & 0xf];
        }
    }
    return encoded;
}

std::vector<QueryParameter> parseQuery(std::string_view rawQuery) {
    std::vector<QueryParameter> parameters;
    if (rawQuery.empty()) {
        return parameters;
    }
    std::size_t start = 0;
    while (start <= rawQuery.size()) {
        const std::size_t end = std::min(rawQuery.find('&', start), rawQuery.size());
        const std::string_view item = rawQuery.substr(start, end - start);
        const std::size_t equals = item.find('=');
        QueryParameter parameter;
        parameter.rawName = std::string(item.substr(0, equals));
        parameter.rawValue =
            equals == std::string_view::npos ? std::string() : std::string(item.substr(equals + 1));
        if (const auto once = percentDecode(parameter.rawValue)) {
            parameter.value = percentDecode(*once);
        }
        parameter.canonical =
            parameter.value && equals != std::string_view::npos &&
            upperCaseEscapes(parameter.rawValue) == doublePercentEncode(*parameter.value);
        parameters.push_back(std::move(parameter));
        start = end + 1;
    }
    return parameters;
}

}  // namespace orvanpush::server
