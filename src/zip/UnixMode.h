#pragma once

// An entry made on Unix keeps its st_mode in the high 16 bits of its external attributes: the
// file type in the top four bits, the permissions below them.

#include <cstdint>
#include <optional>

#include "orvanpush/zip/Entry.h"

namespace orvanpush::zip::detail {

/// The host system in the high byte of "version made by" whose attributes hold a Unix mode.
inline constexpr std::uint8_t kUnixHost = 3;

/// The type bits of a mode for `type`.
std::uint16_t unixTypeBits(Entry::EntryType type);

/// The type a mode's type bits give; nothing when the mode has no type bits.
std::optional<Entry::EntryType> entryTypeOfUnixMode(std::uint16_t mode);

}  // namespace orvanpush::zip::detail
