#pragma once

// Entry names as bytes and as text.

#include <optional>
#include <string>
#include <string_view>

#include "orvanpush/Types.h"
#include "orvanpush/zip/Entry.h"
#include "text/Utf8Text.h"

namespace orvanpush::zip::detail {

/// Names are checked with the library's one UTF-8 check.
using orvanpush::detail::isWellFormedUtf8;

/// `name` for a message: well-formed UTF-8 as it is, every other byte and every control
/// character as "\xHH".
std::string printableName(std::string_view name);

/// A stored name as UTF-8 text: taken as it is when `utf8Flag` is set (or `encoding` is UTF-8)
/// and it is well-formed, else decoded from `encoding` (code page 437 by default).
std::string decodeEntryName(const Bytes& name, bool utf8Flag, std::optional<TextEncoding> encoding);

}  // namespace orvanpush::zip::detail
