#include "zip/ArchiveFile.h"

#include "orvanpush/zip/ArchiveError.h"

namespace orvanpush::zip::detail {

ArchiveFile::ArchiveFile(std::unique_ptr<platform::RandomAccessFile> file)
    : file_(std::move(file)) {
    // The kept position must be the stream's, whatever was done with it before.
    if (!file_->seek(0)) {
        throw DataError(DataError::Kind::unreadableFile, "cannot seek to 0");
    }
}

std::uint64_t ArchiveFile::size() {
    auto size = file_->size();
    if (!size) {
        throw DataError(DataError::Kind::unreadableFile, "the archive's size is unknown");
    }
    return *size;
}

void ArchiveFile::seek(std::uint64_t offset) {
    if (offset == position_) {
        return;
    }
    if (!file_->seek(offset)) {
        throw DataError(DataError::Kind::unreadableFile,
                        "cannot seek to " + std::to_string(offset));
    }
    position_ = offset;
}

Bytes ArchiveFile::read(std::size_t count) {
    Bytes bytes(count);
    read(bytes);
    return bytes;
}

void ArchiveFile::read(std::span<std::uint8_t> buffer) {
    const std::size_t got = file_->read(buffer);
    position_ += got;
    if (got != buffer.size()) {
        throw DataError(DataError::Kind::unreadableFile,
                        std::to_string(buffer.size()) + " bytes wanted at " +
                            std::to_string(position_ - got) + ", " + std::to_string(got) + " read");
    }
}

void ArchiveFile::write(std::span<const std::uint8_t> bytes) {
    if (!file_->write(bytes)) {
        throw DataError(DataError::Kind::unwritableFile);
    }
    position_ += bytes.size();
}

void ArchiveFile::flush() {
    if (!file_->flush()) {
        throw DataError(DataError::Kind::unwritableFile, "flush failed");
    }
}

void ArchiveFile::truncate(std::uint64_t size) {
    if (!file_->truncate(size)) {
        throw DataError(DataError::Kind::unwritableFile, "truncation failed");
    }
    position_ = size;
}

}  // namespace orvanpush::zip::detail
