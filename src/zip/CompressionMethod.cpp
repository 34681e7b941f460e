#include "orvanpush/zip/CompressionMethod.h"

namespace orvanpush::zip {

std::string toString(CompressionMethod method) {
    return method == CompressionMethod::deflate ? "deflate" : "none";
}

std::optional<CompressionMethod> compressionMethodFromRawValue(std::uint16_t rawValue) {
    switch (rawValue) {
        case static_cast<std::uint16_t>(CompressionMethod::none):
            return CompressionMethod::none;
        case static_cast<std::uint16_t>(CompressionMethod::deflate):
            return CompressionMethod::deflate;
        default:
            return std::nullopt;
    }
}

}  // namespace orvanpush::zip
