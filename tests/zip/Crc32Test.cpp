#include "orvanpush/zip/Crc32.h"

#include <string_view>

#include <gtest/gtest.h>

#include "zip/ZipTestSupport.h"

namespace orvanpush::zip {
namespace {

std::span<const std::uint8_t> bytesOf(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Bit by bit, straight from the polynomial: nothing shared with the library's tables.
std::uint32_t bitwiseCrc(std::span<const std::uint8_t> bytes) {
    std::uint32_t value = 0xFFFFFFFF;
    for (std::uint8_t byte : bytes) {
        value ^= byte;
        for (int bit = 0; bit < 8; ++bit) {
            value = (value >> 1) ^ (0xEDB88320 & (0 - (value & 1)));
        }
    }
    return ~value;
}

// Published check values, one of them chained through the previous checksum (the other pieces
// chained are those of the compression tests).
TEST(Crc32Test, KnownValues) {
    EXPECT_EQ(crc32(bytesOf("")), 0u);
    EXPECT_EQ(crc32(bytesOf("123456789")), 0xcbf43926u);
    EXPECT_EQ(crc32(bytesOf("The quick brown fox jumps over the lazy dog")), 0x414fa339u);
    EXPECT_EQ(crc32(bytesOf("bc"), crc32(bytesOf("a"))), 0x352441c2u);
}

// Short inputs take the table, longer ones are folded 64 and 16 bytes at a time where the
// processor can: every length around those steps, from unaligned starts too.
TEST(Crc32Test, EveryLengthMatchesTheBitwiseChecksum) {
    const Bytes data = testing::randomBytes(300, 7);
    for (std::size_t start : {0, 1, 3}) {
        for (std::size_t length = 0; start + length <= data.size(); ++length) {
            const auto bytes = std::span(data).subspan(start, length);
            EXPECT_EQ(crc32(bytes), bitwiseCrc(bytes)) << "length " << length << " at " << start;
        }
    }
}

}  // namespace
}  // namespace orvanpush::zip
