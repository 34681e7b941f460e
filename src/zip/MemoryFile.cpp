#include "zip/MemoryFile.h"

#include <algorithm>
#include <limits>

namespace orvanpush::zip::detail {

bool MemoryFile::seek(std::uint64_t offset) {
    if (offset > std::numeric_limits<std::size_t>::max()) {
        return false;
    }
    position_ = static_cast<std::size_t>(offset);
    return true;
}

std::size_t MemoryFile::read(std::span<std::uint8_t> buffer) {
    if (position_ >= bytes_.size()) {
        return 0;
    }
    const std::size_t count = std::min(buffer.size(), bytes_.size() - position_);
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(position_), count, buffer.begin());
    position_ += count;
    return count;
}

bool MemoryFile::write(std::span<const std::uint8_t> bytes) {
    const std::size_t end = position_ + bytes.size();
    if (end > bytes_.size()) {
        bytes_.resize(end);
    }
    std::copy(bytes.begin(), bytes.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(position_));
    position_ = end;
    return true;
}

bool MemoryFile::truncate(std::uint64_t size) {
    if (size > bytes_.size()) {
        return false;
    }
    bytes_.resize(static_cast<std::size_t>(size));
    position_ = bytes_.size();
    return true;
}

}  // namespace orvanpush::zip::detail
