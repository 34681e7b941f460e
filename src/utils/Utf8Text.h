#pragma once

#include <optional>
#include <string>

#include "orvanpush/Types.h"

namespace orvanpush::detail {

/// `bytes` as text when they are well-formed UTF-8 (no overlong forms, surrogates or code
/// points above U+10FFFF); nothing otherwise.
std::optional<std::string> decodeUtf8(const Bytes& bytes);

}  // namespace orvanpush::detail
