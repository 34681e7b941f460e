#pragma once

// Small checks of wire texts shared by the endpoints.

#include <string_view>

namespace orvanpush::server {

/// True for well-formed UTF-8: no overlong forms, surrogates or code points above U+10FFFF.
bool isValidUtf8(std::string_view text);

/// True for a UUID in its canonical 36-character upper-case form
/// (8-4-4-4-12 hexadecimal digits, "A"-"F" in capitals).
bool isUpperCaseUuid(std::string_view text);

/// ASCII case-insensitive equality, as header names compare.
bool equalsIgnoringCase(std::string_view left, std::string_view right);

}  // namespace orvanpush::server
