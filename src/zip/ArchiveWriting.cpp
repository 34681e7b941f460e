// Adding entries. Everything that can be checked is checked before the first byte is written;
// whatever fails after that is rolled back, so an archive is always either as it was or has
// the new entry complete.

#include <algorithm>
#include <stdexcept>

#include "orvanpush/zip/Archive.h"
#include "orvanpush/zip/Crc32.h"
#include "platform/ItemStatus.h"
#include "platform/RandomAccessFile.h"
#include "zip/ArchiveFile.h"
#include "zip/DosDateTime.h"
#include "zip/EntryName.h"
#include "zip/Records.h"
#include "zip/UnixMode.h"

namespace orvanpush::zip {
namespace {

// 32-bit fields hold values below this; the value itself marks ZIP64 records.
constexpr std::uint64_t kLargest32 = 0xFFFFFFFE;
constexpr std::uint16_t kMostEntries = 0xFFFF;
constexpr std::size_t kLongestName = 0xFFFF;

// Made on Unix by version 2.1 of the format; 2.0 needed to extract.
constexpr std::uint16_t kVersionMadeBy = detail::kUnixHost << 8 | 21;
constexpr std::uint16_t kVersionNeeded = 20;

// Names that extraction would refuse (absolute, climbing out with "..") are not written.
bool isWritableName(const std::string& name) {
    if (name.empty() || name.size() > kLongestName || name.starts_with('/') ||
        name.find('\0') != std::string::npos || !detail::isWellFormedUtf8(name)) {
        return false;
    }
    std::size_t start = 0;
    for (std::size_t end; (end = name.find('/', start)) != std::string::npos; start = end + 1) {
        if (name.compare(start, end - start, "..") == 0) {
            return false;
        }
    }
    return name.compare(start, std::string::npos, "..") != 0;
}

std::string checkedEntryName(std::string_view path, Entry::EntryType type) {
    std::string name(path);
    if (type == Entry::EntryType::directory && !name.ends_with('/')) {
        name += '/';
    }
    if (path.empty() || !isWritableName(name)) {
        throw ArchiveError(ArchiveError::Kind::invalidEntryPath,
                           "\"" + detail::printableName(name.substr(0, 256)) + "\"");
    }
    return name;
}

}  // namespace

struct Archive::PendingEntry {
    Entry::EntryType type;
    CompressionMethod method;
    std::uint64_t uncompressedSize;
    std::uint64_t compressedSize = 0;
    std::uint64_t localHeaderOffset;
    LocalFileHeader localHeader;
    CentralDirectoryStructure centralHeader;
};

Archive::PendingEntry Archive::prepareEntry(std::string_view path, Entry::EntryType type,
                                            std::uint64_t uncompressedSize, Date modificationDate,
                                            std::optional<std::uint16_t> permissions,
                                            CompressionMethod compressionMethod,
                                            std::uint32_t bufferSize) const {
    using Kind = ArchiveError::Kind;
    if (accessMode_ == AccessMode::read) {
        throw ArchiveError(Kind::unwritableArchive, "opened for reading");
    }
    if (bufferSize == 0) {
        throw std::invalid_argument("the buffer size must not be 0");
    }
    if (!compressionMethodFromRawValue(static_cast<std::uint16_t>(compressionMethod))) {
        throw ArchiveError(Kind::invalidCompressionMethod);
    }
    std::string name = checkedEntryName(path, type);
    const std::uint64_t size = type == Entry::EntryType::directory ? 0 : uncompressedSize;
    if (size > kLargest32) {
        throw ArchiveError(Kind::invalidEntrySize, std::to_string(size) + " bytes");
    }
    if (endRecord_.totalNumberOfEntriesInCentralDirectory >= kMostEntries) {
        throw ArchiveError(Kind::tooManyEntries);
    }
    const std::uint64_t offset = endRecord_.offsetToStartOfCentralDirectory;
    const std::uint64_t directorySize = std::uint64_t{endRecord_.sizeOfCentralDirectory} +
                                        CentralDirectoryStructure::fixedSize + name.size();
    if (offset > kLargest32 || directorySize > kLargest32) {
        throw ArchiveError(Kind::invalidStartOfCentralDirectoryOffset);
    }

    // Directories and links are always stored, and both headers say so.
    const CompressionMethod method =
        type == Entry::EntryType::file ? compressionMethod : CompressionMethod::none;
    const auto stamp = detail::toDosDateTime(modificationDate);
    LocalFileHeader local;
    local.versionNeededToExtract = kVersionNeeded;
    local.generalPurposeBitFlag = detail::kUtf8NameFlag;
    local.compressionMethod = static_cast<std::uint16_t>(method);
    local.lastModFileTime = stamp.time;
    local.lastModFileDate = stamp.date;
    local.uncompressedSize = static_cast<std::uint32_t>(size);
    local.fileNameData.assign(name.begin(), name.end());

    const std::uint16_t mode = permissions.value_or(
        type == Entry::EntryType::directory ? defaultDirectoryPermissions : defaultFilePermissions);
    CentralDirectoryStructure central;
    central.versionMadeBy = kVersionMadeBy;
    central.externalFileAttributes =
        std::uint32_t{static_cast<std::uint16_t>(detail::unixTypeBits(type) | mode)} << 16;
    central.relativeOffsetOfLocalHeader = static_cast<std::uint32_t>(offset);
    return PendingEntry{.type = type,
                        .method = method,
                        .uncompressedSize = size,
                        .localHeaderOffset = offset,
                        .localHeader = std::move(local),
                        .centralHeader = std::move(central)};
}

void Archive::addEntry(std::string_view path, Entry::EntryType type, std::uint64_t uncompressedSize,
                       Date modificationDate, std::optional<std::uint16_t> permissions,
                       CompressionMethod compressionMethod, std::uint32_t bufferSize,
                       const std::shared_ptr<Progress>& progress, const Provider& provider) {
    PendingEntry pending = prepareEntry(path, type, uncompressedSize, modificationDate, permissions,
                                        compressionMethod, bufferSize);
    if (progress) {
        progress->setTotalUnitCount(type == Entry::EntryType::directory
                                        ? 1
                                        : static_cast<std::int64_t>(pending.uncompressedSize));
    }
    file_->seek(pending.localHeaderOffset);
    const Bytes oldCentralDirectory = file_->read(endRecord_.sizeOfCentralDirectory);
    try {
        writeEntry(pending, oldCentralDirectory, bufferSize, progress, provider);
    } catch (...) {
        rollBack(pending.localHeaderOffset, oldCentralDirectory);
        throw;
    }
}

void Archive::writeEntry(PendingEntry& pending, const Bytes& oldCentralDirectory,
                         std::uint32_t bufferSize, const std::shared_ptr<Progress>& progress,
                         const Provider& provider) {
    LocalFileHeader& local = pending.localHeader;
    file_->seek(pending.localHeaderOffset);
    file_->write(detail::encode(local));
    local.crc32 = writeData(pending, bufferSize, progress, provider);
    local.compressedSize = static_cast<std::uint32_t>(pending.compressedSize);
    const std::uint64_t endOfData = file_->position();
    if (endOfData > kLargest32) {
        throw ArchiveError(ArchiveError::Kind::invalidStartOfCentralDirectoryOffset,
                           std::to_string(endOfData));
    }
    file_->seek(pending.localHeaderOffset);
    file_->write(detail::encode(local));
    file_->seek(endOfData);

    CentralDirectoryStructure& central = pending.centralHeader;
    static_cast<EntryHeaderFields&>(central) = local;
    file_->write(oldCentralDirectory);
    file_->write(detail::encode(central));

    EndOfCentralDirectoryRecord endRecord = endRecord_;
    endRecord.totalNumberOfEntriesOnDisk += 1;
    endRecord.totalNumberOfEntriesInCentralDirectory += 1;
    endRecord.sizeOfCentralDirectory += static_cast<std::uint32_t>(central.recordSize());
    endRecord.offsetToStartOfCentralDirectory = static_cast<std::uint32_t>(endOfData);
    file_->write(detail::encode(endRecord));
    file_->flush();
    // Nothing may follow the end record: the archive ends where a reader looks for it.
    file_->truncate(file_->position());
    endRecord_ = std::move(endRecord);
}

std::uint32_t Archive::writeData(PendingEntry& pending, std::uint32_t bufferSize,
                                 const std::shared_ptr<Progress>& progress,
                                 const Provider& provider) {
    // Every piece is exactly what was asked for: a short piece would give an entry whose
    // checksum and size disagree.
    auto exactPiece = [&](std::uint64_t position, std::size_t length) {
        if (progress && progress->isCancelled()) {
            throw ArchiveError(ArchiveError::Kind::cancelledOperation);
        }
        Bytes piece = provider(position, length);
        if (piece.size() != length) {
            throw DataError(DataError::Kind::unreadableFile,
                            std::to_string(length) + " bytes wanted at " +
                                std::to_string(position) + ", " + std::to_string(piece.size()) +
                                " given");
        }
        return piece;
    };
    auto writePiece = [&](std::span<const std::uint8_t> piece) {
        pending.compressedSize += piece.size();
        if (pending.compressedSize > kLargest32) {
            throw ArchiveError(ArchiveError::Kind::invalidEntrySize, "compressed size");
        }
        file_->write(piece);
    };
    auto report = [&](std::uint64_t done) {
        if (progress) {
            progress->setCompletedUnitCount(static_cast<std::int64_t>(done));
        }
    };

    const std::uint64_t size = pending.uncompressedSize;
    switch (pending.type) {
        case Entry::EntryType::directory:
            provider(0, 0);
            report(1);
            return 0;
        case Entry::EntryType::symlink: {
            const Bytes target = exactPiece(0, static_cast<std::size_t>(size));
            writePiece(target);
            report(size);
            return crc32(target);
        }
        case Entry::EntryType::file:
            break;
    }
    if (pending.method == CompressionMethod::deflate) {
        return compress(
            size, bufferSize,
            [&](std::uint64_t position, std::size_t length) {
                Bytes piece = exactPiece(position, length);
                report(position + piece.size());
                return piece;
            },
            writePiece);
    }
    std::uint32_t crc = 0;
    for (std::uint64_t position = 0; position < size;) {
        const auto length =
            static_cast<std::size_t>(std::min<std::uint64_t>(bufferSize, size - position));
        const Bytes piece = exactPiece(position, length);
        crc = crc32(piece, crc);
        writePiece(piece);
        position += length;
        report(position);
    }
    return crc;
}

void Archive::rollBack(std::uint64_t localHeaderOffset, const Bytes& oldCentralDirectory) noexcept {
    try {
        file_->truncate(localHeaderOffset);
        file_->write(oldCentralDirectory);
        file_->write(detail::encode(endRecord_));
        file_->flush();
    } catch (const std::exception&) {
        // The original failure is what the caller hears about.
    }
}

void Archive::addEntry(std::string_view path, const std::filesystem::path& baseURL,
                       CompressionMethod compressionMethod, std::uint32_t bufferSize,
                       const std::shared_ptr<Progress>& progress) {
    const std::filesystem::path item = baseURL / std::filesystem::path(std::string(path));
    const auto status = platform::linkStatus(item);
    if (!status) {
        throw FileError(FileError::Kind::fileReadNoSuchFile, item);
    }
    const bool isLink = status->type == platform::ItemStatus::Type::symbolicLink;
    if (!isLink && !platform::isReadable(item)) {
        throw FileError(FileError::Kind::fileReadNoPermission, item);
    }
    const auto mode = static_cast<std::uint16_t>(status->mode);
    auto add = [&](Entry::EntryType type, std::uint64_t size, const Provider& provider) {
        addEntry(path, type, size, status->modificationDate, mode, compressionMethod, bufferSize,
                 progress, provider);
    };

    switch (status->type) {
        case platform::ItemStatus::Type::directory:
            add(Entry::EntryType::directory, 0, [](std::uint64_t, std::size_t) { return Bytes(); });
            return;
        case platform::ItemStatus::Type::symbolicLink: {
            std::error_code error;
            const std::string target = std::filesystem::read_symlink(item, error).native();
            if (error) {
                throw FileError(FileError::Kind::fileReadNoPermission, item);
            }
            add(Entry::EntryType::symlink, status->size,
                [&](std::uint64_t, std::size_t) { return Bytes(target.begin(), target.end()); });
            return;
        }
        case platform::ItemStatus::Type::other:
            // A FIFO, socket or device has no contents to take a snapshot of.
            throw DataError(DataError::Kind::unreadableFile,
                            item.string() + " is not a file, directory or link");
        case platform::ItemStatus::Type::regular:
            break;
    }
    auto file = platform::BufferedFile::open(item, platform::BufferedFile::Access::read, false);
    if (!file) {
        throw FileError(FileError::Kind::fileNoSuchFile, item);
    }
    std::uint64_t filePosition = 0;
    add(Entry::EntryType::file, status->size, [&](std::uint64_t position, std::size_t length) {
        if (position != filePosition && !file->seek(position)) {
            throw DataError(DataError::Kind::unreadableFile, item.string());
        }
        Bytes piece(length);
        const std::size_t got = file->read(piece);
        filePosition = position + got;
        if (got != length) {
            throw DataError(DataError::Kind::unreadableFile,
                            item.string() + " ended at " + std::to_string(filePosition));
        }
        return piece;
    });
}

}  // namespace orvanpush::zip
