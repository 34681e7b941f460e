#pragma once

// CRC-32 as ZIP entries carry it (reflected polynomial 0xEDB88320, as in IEEE 802.3, zlib
// and PNG). Feed a file in pieces, each result passed as the next call's checksum:
//
//   std::uint32_t checksum = 0;
//   for (const auto& piece : pieces) checksum = orvanpush::zip::crc32(piece, checksum);

#include <array>
#include <cstdint>
#include <span>
#include "orvanpush/Export.h"

namespace orvanpush::zip {

/// The byte-at-a-time table of the polynomial: entry 1 is 0x77073096, entry 255 0x2d02ef8d.
extern const std::array<std::uint32_t, 256> crcTable;

/// `checksum` (0 to start) updated with `bytes`: the CRC-32 of everything fed so far.
ORVANPUSH_EXPORT std::uint32_t crc32(std::span<const std::uint8_t> bytes,
                                     std::uint32_t checksum = 0) noexcept;

}  // namespace orvanpush::zip
