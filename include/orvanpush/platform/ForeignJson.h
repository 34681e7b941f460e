#pragma once

// JSON that comes from outside the process (a push payload, a server's answer, custom data, a
// value another process stored, a command-line input), parsed with bounds so that no text can
// exhaust the stack of the code that later walks, copies or prints the value:
//
//   const orvanpush::Json payload = orvanpush::platform::ForeignJson::parse(bytes);
//   auto content = orvanpush::NotificationContent::fromPayload(payload);
//
// Arrays and objects nest at most kMaxDepth levels, and nothing but whitespace may follow the
// value (a NUL byte included). A value built in the process can be checked with isWithinDepth.

#include <cstddef>
#include <optional>
#include <string_view>

#include "orvanpush/Export.h"
#include "orvanpush/Types.h"

namespace orvanpush::platform {

class ORVANPUSH_EXPORT ForeignJson {
  public:
    /// The deepest nesting of arrays and objects accepted: `1` nests 0 levels, `[[1]]` 2.
    static constexpr std::size_t kMaxDepth = 256;

    /// The one JSON value of `text`. Throws TextError saying what is wrong: the text is not
    /// JSON, nests deeper than kMaxDepth levels, or holds other bytes after the value.
    static Json parse(std::string_view text);
    /// The same for bytes.
    static Json parse(const Bytes& bytes);
    /// The value of `text`, or nothing where parse throws.
    static std::optional<Json> tryParse(std::string_view text);
    /// The same for bytes.
    static std::optional<Json> tryParse(const Bytes& bytes);

    /// True when `value` nests no deeper than kMaxDepth. Walks the value without recursion, so
    /// any value may be asked, however deep.
    static bool isWithinDepth(const Json& value);
};

}  // namespace orvanpush::platform
