#pragma once

// UTF-8 as the library checks and repairs it: no overlong forms, surrogates or code points above
// U+10FFFF.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "orvanpush/Types.h"

namespace orvanpush::detail {

/// The length of the well-formed character that starts `text` (which is not empty); 0 when it
/// does not start with one.
std::size_t utf8CharacterLength(std::string_view text);

/// True when `text` is well-formed UTF-8.
bool isWellFormedUtf8(std::string_view text);

/// `bytes` as text when they are well-formed UTF-8; nothing otherwise.
std::optional<std::string> decodeUtf8(const Bytes& bytes);

/// `text` made valid UTF-8: each ill-formed sequence (each maximal part of one that could have
/// begun a character) becomes U+FFFD; valid text comes back unchanged. Host strings pass
/// through it on entry, before they are signed or sent.
std::string repairUtf8(std::string_view text);

}  // namespace orvanpush::detail
