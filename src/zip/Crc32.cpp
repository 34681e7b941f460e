#include "orvanpush/zip/Crc32.h"

#include <cstddef>

#include "zip/Crc32Folding.h"

namespace orvanpush::zip {
namespace {

constexpr std::uint32_t kPolynomial = 0xEDB88320;
constexpr std::size_t kSlices = 16;

using Table = std::array<std::uint32_t, 256>;

// Slice s maps a byte to its contribution when s more bytes follow it in the same block, so
// sixteen bytes are folded into the checksum with sixteen independent look-ups.
constexpr std::array<Table, kSlices> makeSlices() {
    std::array<Table, kSlices> slices{};
    for (std::uint32_t byte = 0; byte < 256; ++byte) {
        std::uint32_t value = byte;
        for (int bit = 0; bit < 8; ++bit) {
            value = (value & 1) != 0 ? (value >> 1) ^ kPolynomial : value >> 1;
        }
        slices[0][byte] = value;
    }
    for (std::size_t slice = 1; slice < kSlices; ++slice) {
        for (std::size_t byte = 0; byte < 256; ++byte) {
            const std::uint32_t previous = slices[slice - 1][byte];
            slices[slice][byte] = (previous >> 8) ^ slices[0][previous & 0xFF];
        }
    }
    return slices;
}

constexpr std::array<Table, kSlices> kSliceTables = makeSlices();

inline std::uint32_t loadLittleEndian32(const std::uint8_t* bytes) {
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}

inline std::uint32_t foldWord(std::uint32_t word, std::size_t firstSlice) {
    const auto& t = kSliceTables;
    return t[firstSlice][word & 0xFF] ^ t[firstSlice - 1][(word >> 8) & 0xFF] ^
           t[firstSlice - 2][(word >> 16) & 0xFF] ^ t[firstSlice - 3][word >> 24];
}

}  // namespace

const std::array<std::uint32_t, 256> crcTable = kSliceTables[0];

std::uint32_t crc32(std::span<const std::uint8_t> bytes, std::uint32_t checksum) noexcept {
    std::uint32_t value = ~checksum;
    const std::uint8_t* next = bytes.data();
    std::size_t remaining = bytes.size();
    if (remaining >= detail::kFoldingMinimum && detail::canFoldCrc32()) {
        const std::size_t folded = remaining - remaining % detail::kFoldingStep;
        value = detail::foldCrc32(next, folded, value);
        next += folded;
        remaining -= folded;
    }
    for (; remaining >= kSlices; remaining -= kSlices, next += kSlices) {
        value = foldWord(loadLittleEndian32(next) ^ value, 15) ^
                foldWord(loadLittleEndian32(next + 4), 11) ^
                foldWord(loadLittleEndian32(next + 8), 7) ^
                foldWord(loadLittleEndian32(next + 12), 3);
    }
    for (; remaining > 0; --remaining, ++next) {
        value = kSliceTables[0][(value ^ *next) & 0xFF] ^ (value >> 8);
    }
    return ~value;
}

}  // namespace orvanpush::zip
