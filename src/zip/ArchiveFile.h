#pragma once

// The archive's stream as the archive code uses it: exact reads and writes that throw
// `DataError`, and a position kept here so a seek to where the stream already is costs nothing.

#include <cstdint>
#include <memory>
#include <span>

#include "orvanpush/Types.h"
#include "platform/RandomAccessFile.h"

namespace orvanpush::zip::detail {

class ArchiveFile {
  public:
    /// Starts at offset 0. Throws `DataError` `unreadableFile` when the file cannot seek there.
    explicit ArchiveFile(std::unique_ptr<platform::RandomAccessFile> file);

    std::uint64_t position() const { return position_; }
    /// Throws `DataError` `unreadableFile` when the size cannot be had.
    std::uint64_t size();
    /// Throws `DataError` `unreadableFile` on failure.
    void seek(std::uint64_t offset);
    /// Exactly `count` bytes at the position; `DataError` `unreadableFile` when fewer are there.
    Bytes read(std::size_t count);
    void read(std::span<std::uint8_t> buffer);
    /// Throw `DataError` `unwritableFile` on failure.
    void write(std::span<const std::uint8_t> bytes);
    void flush();
    /// Cuts the file to `size` and moves there (see `RandomAccessFile::truncate`).
    void truncate(std::uint64_t size);

  private:
    std::unique_ptr<platform::RandomAccessFile> file_;
    std::uint64_t position_ = 0;
};

}  // namespace orvanpush::zip::detail
