#pragma once

// Raw DEFLATE (RFC 1951, without zlib or gzip framing), the data of ZIP method 8, one stream
// at a time at the default compression level.
//
//   auto stream = CompressionStream::open(CompressionOperation::encode);
//   std::span<const std::uint8_t> input = piece;
//   std::span<std::uint8_t> output = buffer;
//   auto status = stream->process(input, output, /*finalize=*/true);
//   // input and output now start after what the step consumed and produced.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

namespace orvanpush::platform {

enum class CompressionOperation { encode = 0, decode = 1 };

/// The outcome of one processing step.
enum class CompressionStatus {
    ok = 0,      ///< the step made progress; call again with more input or fresh output space
    end = 1,     ///< the stream is complete
    error = -1,  ///< the data is corrupt, or the step could make no progress at all
};

class CompressionStream {
  public:
    /// A stream for `operation`; nothing when the compression library cannot set one up.
    static std::optional<CompressionStream> open(CompressionOperation operation);

    CompressionStream(CompressionStream&&) noexcept;
    CompressionStream& operator=(CompressionStream&&) noexcept;
    ~CompressionStream();

    /// Consumes from the front of `input` and writes to the front of `output`, then advances
    /// both past what the step used. `finalize` says that no input follows `input` (only the
    /// encoder needs to know). A step that can neither consume nor produce anything reports
    /// `error`, so a truncated stream ends instead of asking for input for ever.
    CompressionStatus process(std::span<const std::uint8_t>& input, std::span<std::uint8_t>& output,
                              bool finalize);

  private:
    struct State;
    explicit CompressionStream(std::unique_ptr<State> state);

    std::unique_ptr<State> state_;
};

}  // namespace orvanpush::platform
