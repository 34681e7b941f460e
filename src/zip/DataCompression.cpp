#include "orvanpush/zip/DataCompression.h"

#include <algorithm>

#include "orvanpush/zip/Crc32.h"
#include "platform/CompressionStream.h"

namespace orvanpush::zip {
namespace {

using platform::CompressionOperation;
using platform::CompressionStatus;

// The stream pump shared by both directions: pull a piece whenever the stream has used up the
// last one, run one step, push what it produced, until the stream reports its end.
std::uint32_t process(CompressionOperation operation, std::uint64_t size, std::size_t bufferSize,
                      bool skipCRC32, const Provider& provider, const Consumer& consumer) {
    if (bufferSize == 0) {
        throw CompressionError(CompressionError::Kind::invalidStream);
    }
    auto stream = platform::CompressionStream::open(operation);
    if (!stream) {
        throw CompressionError(CompressionError::Kind::invalidStream);
    }
    Bytes output(bufferSize);
    Bytes piece;
    std::span<const std::uint8_t> input;
    std::uint64_t position = 0;
    std::uint32_t crc = 0;
    bool finalize = false;
    for (;;) {
        if (input.empty()) {
            const std::uint64_t left = position < size ? size - position : 0;
            piece = provider(position,
                             static_cast<std::size_t>(std::min<std::uint64_t>(bufferSize, left)));
            position += piece.size();
            input = piece;
            finalize = piece.size() < bufferSize;
            if (operation == CompressionOperation::encode) {
                crc = crc32(piece, crc);
            }
        }
        std::span<std::uint8_t> space(output);
        const CompressionStatus status = stream->process(input, space, finalize);
        if (status == CompressionStatus::error) {
            throw CompressionError(CompressionError::Kind::corruptedData);
        }
        const std::span<const std::uint8_t> produced(output.data(), output.size() - space.size());
        consumer(produced);
        if (operation == CompressionOperation::decode && !skipCRC32) {
            crc = crc32(produced, crc);
        }
        if (status == CompressionStatus::end) {
            return crc;
        }
    }
}

}  // namespace

CompressionError::CompressionError(Kind kind) : ZipError(toString(kind)), kind_(kind) {}

std::string toString(CompressionError::Kind kind) {
    return kind == CompressionError::Kind::invalidStream ? "invalidStream" : "corruptedData";
}

std::uint32_t compress(std::uint64_t size, std::size_t bufferSize, const Provider& provider,
                       const Consumer& consumer) {
    return process(CompressionOperation::encode, size, bufferSize, false, provider, consumer);
}

std::uint32_t decompress(std::uint64_t size, std::size_t bufferSize, bool skipCRC32,
                         const Provider& provider, const Consumer& consumer) {
    return process(CompressionOperation::decode, size, bufferSize, skipCRC32, provider, consumer);
}

}  // namespace orvanpush::zip
