#include "TextChecks.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

namespace orvanpush::server {

bool isValidUtf8(std::string_view text) {
    std::size_t index = 0;
    while (index < text.size()) {
        const auto lead = static_cast<unsigned char>(text[index]);
        std::size_t length = 0;
        std::uint32_t codePoint = 0;
        if (lead < 0x80) {
            ++index;
            continue;
        }
        if (lead >= 0xc2 && lead <= 0xdf) {
            length = 2;
            codePoint = lead & 0x1f;
        } else if (lead >= 0xe0 && lead <= 0xef) {
            length = 3;
            codePoint = lead & 0x0f;
        } else if (lead >= 0xf0 && lead <= 0xf4) {
            length = 4;
            codePoint = lead & 0x07;
        } else {
            return false;
        }
        if (text.size() - index < length) {
            return false;
        }
        for (std::size_t offset = 1; offset < length; ++offset) {
            const auto continuation = static_cast<unsigned char>(text[index + offset]);
            if ((continuation & 0xc0) != 0x80) {
                return false;
            }
            codePoint = codePoint << 6 | (continuation & 0x3f);
        }
        const bool overlong =
            (length == 3 && codePoint < 0x800) || (length == 4 && codePoint < 0x10000);
        const bool surrogate = codePoint >= 0xd800 && codePoint <= 0xdfff;
        if (overlong || surrogate || codePoint > 0x10ffff) {
            return false;
        }
        index += length;
    }
    return true;
}

bool isUpperCaseUuid(std::string_view text) {
    if (text.size() != 36) {
        return false;
    }
    for (std::size_t index = 0; index < text.size(); ++index) {
        const char character = text[index];
        const bool dash = index == 8 || index == 13 || index == 18 || index == 23;
        const bool hexDigit =
            (character >= '0' && character <= '9') || (character >= 'A' && character <= 'F');
        if (dash ? character != '-' : !hexDigit) {
            return false;
        }
    }
    return true;
}

bool equalsIgnoringCase(std::string_view left, std::string_view right) {
    return std::equal(left.begin(), left.end(), right.begin(), right.end(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    });
}

}  // namespace orvanpush::server
