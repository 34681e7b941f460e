#pragma once

// The bytes of an archive held in memory, with a read/write position.

#include "orvanpush/Types.h"
#include "platform/RandomAccessFile.h"

namespace orvanpush::zip::detail {

class MemoryFile final : public platform::RandomAccessFile {
  public:
    explicit MemoryFile(Bytes bytes = {}) : bytes_(std::move(bytes)) {}

    const Bytes& bytes() const { return bytes_; }

    bool seek(std::uint64_t offset) override;
    std::optional<std::uint64_t> size() override { return bytes_.size(); }
    std::size_t read(std::span<std::uint8_t> buffer) override;
    /// Writing past the end fills the gap with zeros.
    bool write(std::span<const std::uint8_t> bytes) override;
    bool flush() override { return true; }
    bool truncate(std::uint64_t size) override;

  private:
    Bytes bytes_;
    std::size_t position_ = 0;
};

}  // namespace orvanpush::zip::detail
