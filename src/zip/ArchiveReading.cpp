// Reading entries and their data. Every offset a record states is checked against the layout
// (local headers and data before the central directory, the directory before the end record)
// before it is followed, and decoding never hands out more than an entry's stated size.

#include <algorithm>
#include <stdexcept>

#include "orvanpush/zip/Archive.h"
#include "orvanpush/zip/Crc32.h"
#include "zip/ArchiveFile.h"
#include "zip/Records.h"

namespace orvanpush::zip {
namespace {

[[noreturn]] void damaged(const std::string& what) {
    throw ArchiveError(ArchiveError::Kind::unreadableArchive, what);
}

std::uint32_t signatureOf(const Bytes& fixed) {
    return detail::ByteReader(fixed).u32();
}

void readInto(detail::ArchiveFile& file, Bytes& field) {
    if (!field.empty()) {
        file.read(field);
    }
}

}  // namespace

Archive::Iterator::Iterator(const Archive* archive, std::uint64_t offset, std::uint32_t remaining)
    : archive_(archive), offset_(offset), remaining_(remaining) {
    load();
}

// Reads the current entry, or, past the last one the count promises, checks that the directory
// holds no more than that.
void Archive::Iterator::load() {
    if (remaining_ == 0) {
        entry_ = Entry();
        const auto& end = archive_->endRecord_;
        if (offset_ !=
            std::uint64_t{end.offsetToStartOfCentralDirectory} + end.sizeOfCentralDirectory) {
            damaged("the central directory holds more than its " +
                    std::to_string(end.totalNumberOfEntriesInCentralDirectory) + " entries");
        }
        return;
    }
    entry_ = archive_->readEntry(offset_);
    offset_ += entry_.centralDirectoryStructure.recordSize();
}

Archive::Iterator& Archive::Iterator::operator++() {
    --remaining_;
    load();
    return *this;
}

Archive::Iterator Archive::begin() const {
    return Iterator(this, endRecord_.offsetToStartOfCentralDirectory,
                    endRecord_.totalNumberOfEntriesInCentralDirectory);
}

std::optional<Entry> Archive::find(std::string_view path) const {
    for (const Entry& entry : *this) {
        if (entry.path(preferredEncoding_) == path) {
            return entry;
        }
    }
    return std::nullopt;
}

Entry Archive::readEntry(std::uint64_t offset) const {
    const std::uint64_t directoryStart = endRecord_.offsetToStartOfCentralDirectory;
    const std::uint64_t directoryEnd = directoryStart + endRecord_.sizeOfCentralDirectory;
    if (offset + CentralDirectoryStructure::fixedSize > directoryEnd) {
        damaged("central directory shorter than its entry count");
    }
    Entry entry;
    file_->seek(offset);
    const Bytes centralFixed = file_->read(CentralDirectoryStructure::fixedSize);
    if (signatureOf(centralFixed) != CentralDirectoryStructure::signature) {
        damaged("no central directory header at " + std::to_string(offset));
    }
    auto& central = entry.centralDirectoryStructure;
    central = detail::decodeCentralDirectoryStructure(centralFixed);
    if (offset + central.recordSize() > directoryEnd) {
        damaged("central directory header past the directory's end");
    }
    readInto(*file_, central.fileNameData);
    readInto(*file_, central.extraFieldData);
    readInto(*file_, central.fileCommentData);

    const std::uint64_t localOffset = central.relativeOffsetOfLocalHeader;
    if (localOffset + LocalFileHeader::fixedSize > directoryStart) {
        damaged("local header offset past the central directory");
    }
    file_->seek(localOffset);
    const Bytes localFixed = file_->read(LocalFileHeader::fixedSize);
    if (signatureOf(localFixed) != LocalFileHeader::signature) {
        damaged("no local header at " + std::to_string(localOffset));
    }
    auto& local = entry.localFileHeader;
    local = detail::decodeLocalFileHeader(localFixed);
    readInto(*file_, local.fileNameData);
    readInto(*file_, local.extraFieldData);
    const std::uint64_t dataEnd = entry.dataOffset() + central.compressedSize;
    if (dataEnd > directoryStart) {
        damaged("entry data past the central directory");
    }
    if ((local.generalPurposeBitFlag & detail::kDataDescriptorFlag) != 0) {
        // The descriptor's signature is optional: 16 bytes with it, 12 without.
        const std::size_t available =
            static_cast<std::size_t>(std::min<std::uint64_t>(16, directoryStart - dataEnd));
        if (available < 12) {
            damaged("data descriptor past the central directory");
        }
        file_->seek(dataEnd);
        const Bytes bytes = file_->read(available);
        const bool signed_ = available == 16 && signatureOf(bytes) == DataDescriptor::signature;
        detail::ByteReader reader(std::span<const std::uint8_t>(bytes).subspan(signed_ ? 4 : 0));
        DataDescriptor descriptor;
        descriptor.crc32 = reader.u32();
        descriptor.compressedSize = reader.u32();
        descriptor.uncompressedSize = reader.u32();
        entry.dataDescriptor = descriptor;
    }
    return entry;
}

std::uint32_t Archive::extract(const Entry& entry, const Consumer& consumer,
                               std::uint32_t bufferSize, bool skipCRC32,
                               const std::shared_ptr<Progress>& progress) const {
    if (bufferSize == 0) {
        throw std::invalid_argument("the buffer size must not be 0");
    }
    const auto method = compressionMethodFromRawValue(entry.compressionMethod());
    if (!method) {
        throw ArchiveError(ArchiveError::Kind::invalidCompressionMethod,
                           std::to_string(entry.compressionMethod()));
    }
    const bool isDirectory = entry.type() == Entry::EntryType::directory;
    if (progress) {
        progress->setTotalUnitCount(isDirectory ? 1 : entry.uncompressedSize());
    }
    if (isDirectory) {
        if (progress) {
            progress->setCompletedUnitCount(1);
        }
        return 0;
    }

    const std::uint64_t size = entry.uncompressedSize();
    std::uint64_t produced = 0;
    auto readPiece = [&](std::uint64_t position, std::size_t length) {
        if (progress && progress->isCancelled()) {
            throw ArchiveError(ArchiveError::Kind::cancelledOperation);
        }
        file_->seek(entry.dataOffset() + position);
        return file_->read(length);
    };
    // Output beyond the stated size is never handed on: a small entry cannot unpack into an
    // unbounded amount of data.
    auto handOn = [&](std::span<const std::uint8_t> piece) {
        produced += piece.size();
        if (produced > size) {
            throw ArchiveError(ArchiveError::Kind::invalidEntrySize,
                               "more data than the stated " + std::to_string(size) + " bytes");
        }
        consumer(piece);
        if (progress) {
            progress->setCompletedUnitCount(static_cast<std::int64_t>(produced));
        }
    };

    std::uint32_t crc = 0;
    if (*method == CompressionMethod::deflate) {
        crc = decompress(entry.compressedSize(), bufferSize, skipCRC32, readPiece, handOn);
    } else {
        if (entry.compressedSize() != size) {
            throw ArchiveError(ArchiveError::Kind::invalidEntrySize, "stored sizes differ");
        }
        for (std::uint64_t position = 0; position < size;) {
            const auto length =
                static_cast<std::size_t>(std::min<std::uint64_t>(bufferSize, size - position));
            const Bytes piece = readPiece(position, length);
            if (!skipCRC32) {
                crc = crc32(piece, crc);
            }
            handOn(piece);
            position += length;
        }
    }
    if (produced != size) {
        throw ArchiveError(ArchiveError::Kind::invalidEntrySize,
                           std::to_string(produced) + " of " + std::to_string(size) + " bytes");
    }
    if (!skipCRC32 && crc != entry.checksum()) {
        throw ArchiveError(ArchiveError::Kind::invalidCRC32, entry.path(preferredEncoding_));
    }
    return crc;
}

}  // namespace orvanpush::zip
