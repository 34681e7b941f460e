#include "orvanpush/zip/DataCompression.h"

#include <algorithm>
#include <vector>

#include <gtest/gtest.h>

#include "orvanpush/zip/Crc32.h"
#include "zip/ZipTestSupport.h"

namespace orvanpush::zip {
namespace {

using testing::logText;
using testing::randomBytes;

struct Call {
    std::uint64_t position;
    std::size_t length;
    bool operator==(const Call&) const = default;
};

// Hands out `data` and records every request.
struct Source {
    explicit Source(const Bytes& bytes) : data(bytes) {}

    const Bytes& data;
    std::vector<Call> calls;

    Provider provider() {
        return [this](std::uint64_t position, std::size_t length) {
            calls.push_back({position, length});
            const auto start = data.begin() + static_cast<std::ptrdiff_t>(position);
            return Bytes(start, start + static_cast<std::ptrdiff_t>(length));
        };
    }
};

Consumer appendTo(Bytes& sink) {
    return [&sink](std::span<const std::uint8_t> piece) {
        sink.insert(sink.end(), piece.begin(), piece.end());
    };
}

Bytes compressed(const Bytes& data, std::size_t bufferSize = 16384) {
    Source source(data);
    Bytes out;
    compress(data.size(), bufferSize, source.provider(), appendTo(out));
    return out;
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
            Source source(data);
            Bytes packed;
            const std::uint32_t crc =
                compress(data.size(), bufferSize, source.provider(), appendTo(packed));
            EXPECT_EQ(crc, crc32(data));
            std::uint64_t requested = 0;
            for (const auto& call : source.calls) {
                EXPECT_EQ(call.position, requested);
                EXPECT_LE(call.length, bufferSize);
                requested += call.length;
            }
            EXPECT_EQ(requested, data.size());  // each byte asked for, and counted, once
            if (data.size() % bufferSize == 0) {
                EXPECT_EQ(source.calls.back(), (Call{data.size(), 0}));
            }
            if (data.empty()) {
                EXPECT_EQ(packed, (Bytes{0x03, 0x00}));
            }

            Source packedSource(packed);
            Bytes unpacked;
            EXPECT_EQ(decompress(packed.size(), bufferSize, false, packedSource.provider(),
                                 appendTo(unpacked)),
                      crc);
            EXPECT_EQ(unpacked, data);
        }
    }
}

TEST(DataCompressionTest, DamagedStreamsFailInsteadOfLooping) {
    const Bytes packed = compressed(logText(100000));
    const std::vector<Bytes> damaged = {
        Bytes(packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(packed.size() / 2)),
        Bytes(packed.begin(), packed.end() - 1), Bytes(), Bytes(64, 0xFF),  // a reserved block type
    };
    for (const Bytes& stream : damaged) {
        Source source(stream);
        Bytes out;
        SCOPED_TRACE(::testing::Message() << "a stream of " << stream.size() << " bytes");
        testing::expectError<CompressionError>(CompressionError::Kind::corruptedData, [&] {
            decompress(stream.size(), 4096, false, source.provider(), appendTo(out));
        });
    }
}

TEST(DataCompressionTest, RefusesAZeroBufferAndPassesOnWhatTheCallbacksThrow) {
    const Bytes data = logText(1000);
    Source source(data);
    auto ignore = [](std::span<const std::uint8_t>) {};
    testing::expectError<CompressionError>(CompressionError::Kind::invalidStream, [&] {
        compress(data.size(), 0, source.provider(), ignore);
    });
    EXPECT_TRUE(source.calls.empty());

    auto failingProvider = [](std::uint64_t, std::size_t) -> Bytes {
        throw std::runtime_error("provider");
    };
    EXPECT_THROW(compress(data.size(), 256, failingProvider, ignore), std::runtime_error);
    auto failingConsumer = [](std::span<const std::uint8_t>) {
        throw std::runtime_error("consumer");
    };
    EXPECT_THROW(compress(data.size(), 256, source.provider(), failingConsumer),
                 std::runtime_error);
}

}  // namespace
}  // namespace orvanpush::zip
