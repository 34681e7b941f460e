#pragma once

#include <string>
#include <string_view>

#include "orvanpush/Types.h"

namespace orvanpush::platform {

/// Standard Base64 of `bytes`, with "=" padding and no line breaks.
std::string base64Encode(const Bytes& bytes);
/// The same for the bytes of a text.
std::string base64Encode(std::string_view text);

}  // namespace orvanpush::platform
