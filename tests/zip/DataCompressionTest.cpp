#include "orvanpush/zip/DataCompression.h"

#include <vector>

#include <gtest/gtest.h>

#include "orvanpush/zip/Crc32.h"
#include "zip/ZipTestSupport.h"

namespace orvanpush::zip {
namespace {

using testing::logText;
using testing::randomBytes;

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

// Hands out `data` (which must outlive it), noting every request as {position, length}.
Provider recording(const Bytes& data, std::vector<std::pair<std::uint64_t, std::size_t>>& calls) {
    return [&data, &calls](std::uint64_t position, std::size_t length) {
        calls.emplace_back(position, length);
        return testing::providerOf(data)(position, length);
    };
}

Consumer appendTo(Bytes& sink) {
    return [&sink](std::span<const std::uint8_t> piece) {
        sink.insert(sink.end(), piece.begin(), piece.end());
    };
}

// The provider is asked for every piece in order; after a full last piece, once more for nothing:
// the end of the input, where deflate writes its final block. Incompressible data overflows the
// output buffer; tiny buffers make every step partial.
TEST(DataCompressionTest, RoundTripsAskingForEachPieceOnceWhateverTheBufferSize) {
    const std::vector<Bytes> inputs = {randomBytes(100000), logText(70000), logText(16384),
                                       randomBytes(1), Bytes()};
    for (const Bytes& data : inputs) {
        for (std::size_t bufferSize : {1, 7, 4096, 16384, 65536}) {
            SCOPED_TRACE(::testing::Message() << data.size() << " bytes, buffer " << bufferSize);
            std::vector<std::pair<std::uint64_t, std::size_t>> calls;
            Bytes packed;
            const std::uint32_t crc =
                compress(data.size(), bufferSize, recording(data, calls), appendTo(packed));
            EXPECT_EQ(crc, crc32(data));
            std::uint64_t requested = 0;
            for (const auto& [position, length] : calls) {
                EXPECT_EQ(position, requested);
                EXPECT_LE(length, bufferSize);
                requested += length;
            }
            EXPECT_EQ(requested, data.size());  // each byte asked for, and counted, once
            if (data.size() % bufferSize == 0) {
                EXPECT_EQ(calls.back(), std::pair(data.size(), std::size_t{0}));
            }
            if (data.empty()) {
                EXPECT_EQ(packed, (Bytes{0x03, 0x00}));
            }

            Bytes unpacked;
            EXPECT_EQ(decompress(packed.size(), bufferSize, false, testing::providerOf(packed),
                                 appendTo(unpacked)),
                      crc);
            EXPECT_EQ(unpacked, data);
        }
    }
}

TEST(DataCompressionTest, DamagedStreamsFailInsteadOfLooping) {
    const Bytes data = logText(100000);
    Bytes packed;
    compress(data.size(), 16384, testing::providerOf(data), appendTo(packed));
    const std::vector<Bytes> damaged = {
        Bytes(packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(packed.size() / 2)),
        Bytes(packed.begin(), packed.end() - 1), Bytes(), Bytes(64, 0xFF),  // a reserved block type
    };
    for (const Bytes& stream : damaged) {
        Bytes out;
        SCOPED_TRACE(::testing::Message() << "a stream of " << stream.size() << " bytes");
        testing::expectError<CompressionError>(CompressionError::Kind::corruptedData, [&] {
            decompress(stream.size(), 4096, false, testing::providerOf(stream), appendTo(out));
        });
    }
}

TEST(DataCompressionTest, RefusesAZeroBufferBeforeAskingForData) {
    const Bytes data = logText(1000);
    std::vector<std::pair<std::uint64_t, std::size_t>> calls;
    auto ignore = [](std::span<const std::uint8_t>) {};
    testing::expectError<CompressionError>(CompressionError::Kind::invalidStream, [&] {
        compress(data.size(), 0, recording(data, calls), ignore);
    });
    EXPECT_TRUE(calls.empty());
}

}  // namespace
}  // namespace orvanpush::zip
