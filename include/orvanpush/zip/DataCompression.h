#pragma once

// Streaming raw DEFLATE (ZIP method 8). The input is pulled from a provider piece by piece and
// the output pushed to a consumer piece by piece, so memory stays at two buffers of
// `bufferSize` bytes whatever the size:
//
//   auto crc = orvanpush::zip::compress(
//       size, 16384,
//       [&](std::uint64_t position, std::size_t length) { return readBytes(position, length); },
//       [&](std::span<const std::uint8_t> piece) { write(piece); });

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include "orvanpush/Export.h"

#include "orvanpush/Types.h"
#include "orvanpush/zip/ZipError.h"

namespace orvanpush::zip {

/// Returns the `length` bytes of content that start at `position`. May throw.
using Provider = std::function<Bytes(std::uint64_t position, std::size_t length)>;
/// Receives each piece of output, in order; a piece may be empty. May throw.
using Consumer = std::function<void(std::span<const std::uint8_t> piece)>;

/// A failure of the DEFLATE stream itself; `what()` is the case's name.
class ORVANPUSH_EXPORT CompressionError : public ZipError {
  public:
    enum class Kind {
        invalidStream,  ///< no stream could be set up (or the buffer size is 0): nothing moved
        corruptedData,  ///< the data is not a valid (or complete) stream
    };

    /// An error of case `kind`; the case, below.
    explicit CompressionError(Kind kind);
    Kind kind() const noexcept { return kind_; }

  private:
    Kind kind_;
};

/// The case's name: "invalidStream" or "corruptedData".
ORVANPUSH_EXPORT std::string toString(CompressionError::Kind kind);

/// Compresses the `size` bytes the provider hands out, asking for at most `bufferSize` bytes at
/// a time, and returns their CRC-32. The consumer is called after every processing step. An
/// input that is an exact multiple of `bufferSize` ends with one request that returns nothing.
/// Throws `CompressionError`, or whatever the provider or consumer threw.
ORVANPUSH_EXPORT std::uint32_t compress(std::uint64_t size, std::size_t bufferSize,
                                        const Provider& provider, const Consumer& consumer);

/// Decompresses the `size` compressed bytes the provider hands out and returns the CRC-32 of
/// the output (0 with `skipCRC32`). A stream that ends before its final block throws
/// `corruptedData`. Throws as `compress` does.
ORVANPUSH_EXPORT std::uint32_t decompress(std::uint64_t size, std::size_t bufferSize,
                                          bool skipCRC32, const Provider& provider,
                                          const Consumer& consumer);

}  // namespace orvanpush::zip
