#include "utils/Utf8Text.h"

#include <cstddef>
#include <cstdint>

namespace orvanpush::detail {
namespace {

bool isContinuation(std::uint8_t byte) {
    return (byte & 0xC0) == 0x80;
}

// The length of the well-formed sequence starting at `at`, or 0 when it is malformed. The
// ranges of the second byte rule out overlong forms, surrogates and values above U+10FFFF.
std::size_t sequenceLength(const Bytes& bytes, std::size_t at) {
    const std::uint8_t lead = bytes[at];
    std::size_t length = 0;
    std::uint8_t secondMin = 0x80;
    std::uint8_t secondMax = 0xBF;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        secondMin = lead == 0xE0 ? 0xA0 : 0x80;
        secondMax = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        secondMin = lead == 0xF0 ? 0x90 : 0x80;
        secondMax = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (at + length > bytes.size() || bytes[at + 1] < secondMin || bytes[at + 1] > secondMax) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (!isContinuation(bytes[at + i])) {
            return 0;
        }
    }
    return length;
}

}  // namespace

std::optional<std::string> decodeUtf8(const Bytes& bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t length = sequenceLength(bytes, at);
        if (length == 0) {
            return std::nullopt;
        }
        at += length;
    }
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace orvanpush::detail
