#pragma once

// Standard Base64 (RFC 4648 alphabet, "=" padding, no line breaks), as every text on the wire
// uses it: Basic credentials, public keys, signatures, and binary bodies in the admin API.

#include <optional>
#include <string>
#include <string_view>

namespace orvanpush::server {

/// The padded Base64 text of `bytes`.
std::string base64Encode(std::string_view bytes);

/// The bytes of a padded Base64 text, or nothing when the text is not exactly that: a character
/// outside the alphabet (whitespace included), a length that is not a multiple of four, padding
/// anywhere but at the end, or padding bits that are not zero.
std::optional<std::string> base64Decode(std::string_view text);

}  // namespace orvanpush::server
