#include "platform/CompressionStream.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

namespace orvanpush::platform {

// zlib keeps a pointer back to its z_stream, so the record lives on the heap and never moves.
struct CompressionStream::State {
    CompressionOperation operation;
    z_stream stream{};

    explicit State(CompressionOperation op) : operation(op) {}
    ~State() {
        if (operation == CompressionOperation::encode) {
            deflateEnd(&stream);
        } else {
            inflateEnd(&stream);
        }
    }
    State(const State&) = delete;
    State& operator=(const State&) = delete;
};

namespace {

// Negative window bits select raw DEFLATE: no header, no trailer.
constexpr int kRawDeflateWindowBits = -15;
constexpr int kDefaultMemoryLevel = 8;

constexpr std::size_t kLargestStep = std::numeric_limits<uInt>::max();

}  // namespace

std::optional<CompressionStream> CompressionStream::open(CompressionOperation operation) {
    auto state = std::make_unique<State>(operation);
    const int result =
        operation == CompressionOperation::encode
            ? deflateInit2(&state->stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, kRawDeflateWindowBits,
                           kDefaultMemoryLevel, Z_DEFAULT_STRATEGY)
            : inflateInit2(&state->stream, kRawDeflateWindowBits);
    if (result != Z_OK) {
        return std::nullopt;  // zlib left no state behind; ending the stream does nothing
    }
    return CompressionStream(std::move(state));
}

CompressionStream::CompressionStream(std::unique_ptr<State> state) : state_(std::move(state)) {}
CompressionStream::CompressionStream(CompressionStream&&) noexcept = default;
CompressionStream& CompressionStream::operator=(CompressionStream&&) noexcept = default;
CompressionStream::~CompressionStream() = default;

CompressionStatus CompressionStream::process(std::span<const std::uint8_t>& input,
                                             std::span<std::uint8_t>& output, bool finalize) {
    z_stream& stream = state_->stream;
    const std::size_t inputStep = std::min(input.size(), kLargestStep);
    const std::size_t outputStep = std::min(output.size(), kLargestStep);
    // zlib does not write through next_in; the cast only satisfies its declaration.
    stream.next_in = const_cast<Bytef*>(input.data());
    stream.avail_in = static_cast<uInt>(inputStep);
    stream.next_out = output.data();
    stream.avail_out = static_cast<uInt>(outputStep);

    int result = Z_STREAM_ERROR;
    if (state_->operation == CompressionOperation::encode) {
        const bool lastStep = finalize && inputStep == input.size();
        result = deflate(&stream, lastStep ? Z_FINISH : Z_NO_FLUSH);
    } else {
        result = inflate(&stream, Z_NO_FLUSH);
    }

    const std::size_t consumed = inputStep - stream.avail_in;
    const std::size_t produced = outputStep - stream.avail_out;
    input = input.subspan(consumed);
    output = output.subspan(produced);
    stream.next_in = nullptr;
    stream.next_out = nullptr;

    switch (result) {
        case Z_OK:
            return CompressionStatus::ok;
        case Z_STREAM_END:
            return CompressionStatus::end;
        case Z_BUF_ERROR:
            // zlib's "no progress possible": harmless when something moved, otherwise the
            // stream wants input that will never come.
            return consumed > 0 || produced > 0 ? CompressionStatus::ok : CompressionStatus::error;
        default:
            return CompressionStatus::error;
    }
}

}  // namespace orvanpush::platform
