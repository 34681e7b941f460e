#pragma once

// CRC-32 by folding 64-byte blocks with carry-less multiplication, where the processor has it.

#include <cstddef>
#include <cstdint>

namespace orvanpush::zip::detail {

/// Blocks the folding takes: at least this many bytes, in multiples of `kFoldingStep`.
constexpr std::size_t kFoldingMinimum = 64;
constexpr std::size_t kFoldingStep = 16;

/// True when this processor can fold (x86-64 with PCLMULQDQ and SSE4.1).
bool canFoldCrc32() noexcept;

/// The running CRC state (the checksum with its bits inverted) updated with `length` bytes,
/// `length` being at least `kFoldingMinimum` and a multiple of `kFoldingStep`. Only called when
/// `canFoldCrc32()`.
std::uint32_t foldCrc32(const std::uint8_t* bytes, std::size_t length,
                        std::uint32_t state) noexcept;

}  // namespace orvanpush::zip::detail
