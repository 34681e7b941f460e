#pragma once

// Entry names as bytes and as text.

#include <optional>
#include <string>
#include <string_view>

#include "orvanpush/Types.h"
#include "orvanpush/zip/Entry.h"

namespace orvanpush::zip::detail {

/// True when `text` is well-formed UTF-8 (no overlong forms, surrogates or code points above
/// U+10FFFF).
bool isWellFormedUtf8(std::string_view text);

/// `name` for a message: well-formed UTF-8 as it is, every other byte and every control
/// character as "\xHH".
std::string printableName(std::string_view name);

/// A stored name as UTF-8 text: taken as it is when `utf8Flag` is set (or `encoding` is UTF-8)
/// and it is well-formed, else decoded from `encoding` (code page 437 by default).
std::string decodeEntryName(const Bytes& name, bool utf8Flag, std::optional<TextEncoding> encoding);

}  // namespace orvanpush::zip::detail
