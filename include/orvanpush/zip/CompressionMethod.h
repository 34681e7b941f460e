#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include "orvanpush/Export.h"

namespace orvanpush::zip {

/// How an entry's data is stored; the raw value is the ZIP method number.
enum class CompressionMethod : std::uint16_t {
    none = 0,     ///< stored as it is
    deflate = 8,  ///< raw DEFLATE
};

/// "none" or "deflate".
ORVANPUSH_EXPORT std::string toString(CompressionMethod method);
/// The method with ZIP method number `rawValue`; nothing for any other number.
ORVANPUSH_EXPORT std::optional<CompressionMethod> compressionMethodFromRawValue(
    std::uint16_t rawValue);

}  // namespace orvanpush::zip
