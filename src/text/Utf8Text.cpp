#include "text/Utf8Text.h"

#include <cstddef>
#include <cstdint>

namespace orvanpush::detail {
namespace {

bool isContinuation(std::uint8_t byte) {
    return (byte & 0xC0) == 0x80;
}

// How far the sequence starting at `at` is well-formed: its length and whether it is whole. A
// malformed sequence's length is that of its longest valid beginning (at least 1), which is the
// part replaced by one U+FFFD. The ranges of the second byte rule out overlong forms,
// surrogates and values above U+10FFFF.
struct Sequence {
    std::size_t length;
    bool whole;
};

Sequence scanSequence(std::string_view text, std::size_t at) {
    const auto lead = static_cast<std::uint8_t>(text[at]);
    std::size_t length = 0;
    std::uint8_t secondMin = 0x80;
    std::uint8_t secondMax = 0xBF;
    if (lead < 0x80) {
        return {1, true};
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
        return {1, false};
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (at + i >= text.size()) {
            return {i, false};
        }
        const auto byte = static_cast<std::uint8_t>(text[at + i]);
        const bool fits = i == 1 ? byte >= secondMin && byte <= secondMax : isContinuation(byte);
        if (!fits) {
            return {i, false};
        }
    }
    return {length, true};
}

}  // namespace

std::size_t utf8CharacterLength(std::string_view text) {
    const auto sequence = scanSequence(text, 0);
    return sequence.whole ? sequence.length : 0;
}

bool isWellFormedUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const auto sequence = scanSequence(text, at);
        if (!sequence.whole) {
            return false;
        }
        at += sequence.length;
    }
    return true;
}

std::optional<std::string> decodeUtf8(const Bytes& bytes) {
    std::string text(bytes.begin(), bytes.end());
    if (!isWellFormedUtf8(text)) {
        return std::nullopt;
    }
    return text;
}

std::string repairUtf8(std::string_view text) {
    static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
    std::string repaired;
    repaired.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const auto sequence = scanSequence(text, at);
        if (sequence.whole) {
            repaired.append(text.substr(at, sequence.length));
        } else {
            repaired.append(kReplacement);
        }
        at += sequence.length;
    }
    return repaired;
}

}  // namespace orvanpush::detail
