#pragma once

// One entry of an archive as its records describe it. The record types carry the fields of the
// ZIP format's records in their order on disk (all little-endian there); a variable field's
// length is the size of its bytes.

#include <cstdint>
#include <optional>
#include <string>
#include "orvanpush/Export.h"

#include "orvanpush/Types.h"

namespace orvanpush::zip {

/// How entry names without the UTF-8 flag are decoded.
enum class TextEncoding {
    utf8,
    codePage437,  ///< the ZIP format's original encoding; the default
    isoLatin1,
};

/// The fields the local header and the central directory's record share, in their order on
/// disk. Entries written here need version 20 (2.0: deflate and directories); bit 11 of the flag
/// marks a UTF-8 name.
struct ORVANPUSH_EXPORT EntryHeaderFields {
    std::uint16_t versionNeededToExtract = 20;
    std::uint16_t generalPurposeBitFlag = 0;
    std::uint16_t compressionMethod = 0;
    std::uint16_t lastModFileTime = 0;
    std::uint16_t lastModFileDate = 0;
    std::uint32_t crc32 = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t uncompressedSize = 0;
    Bytes fileNameData;
    Bytes extraFieldData;
};

/// The record in front of each entry's data: the shared fields after its signature.
struct ORVANPUSH_EXPORT LocalFileHeader : EntryHeaderFields {
    static constexpr std::uint32_t signature = 0x04034b50;
    static constexpr std::size_t fixedSize = 30;

    std::size_t recordSize() const {
        return fixedSize + fileNameData.size() + extraFieldData.size();
    }
};

/// An entry's record in the central directory: the local header's fields (on disk after
/// `versionMadeBy`) plus where the local header lies, the entry's comment and its attributes.
/// `versionMadeBy` carries the host system in its high byte (3 for Unix), which says whether the
/// high 16 bits of `externalFileAttributes` hold a Unix mode.
struct ORVANPUSH_EXPORT CentralDirectoryStructure : EntryHeaderFields {
    static constexpr std::uint32_t signature = 0x02014b50;
    static constexpr std::size_t fixedSize = 46;

    std::uint16_t versionMadeBy = 0;
    std::uint16_t diskNumberStart = 0;
    std::uint16_t internalFileAttributes = 0;
    std::uint32_t externalFileAttributes = 0;
    std::uint32_t relativeOffsetOfLocalHeader = 0;
    Bytes fileCommentData;

    std::size_t recordSize() const {
        return fixedSize + fileNameData.size() + extraFieldData.size() + fileCommentData.size();
    }
};

/// Sizes and checksum written after an entry's data (general-purpose flag bit 3); only read.
struct ORVANPUSH_EXPORT DataDescriptor {
    static constexpr std::uint32_t signature = 0x08074b50;

    std::uint32_t crc32 = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t uncompressedSize = 0;
};

/// The record that ends an archive: how many entries the central directory holds, its size and
/// where it starts. Archives written here span one disk (both disk numbers 0).
struct ORVANPUSH_EXPORT EndOfCentralDirectoryRecord {
    static constexpr std::uint32_t signature = 0x06054b50;
    static constexpr std::size_t fixedSize = 22;

    std::uint16_t numberOfDisk = 0;
    std::uint16_t numberOfDiskStart = 0;
    std::uint16_t totalNumberOfEntriesOnDisk = 0;
    std::uint16_t totalNumberOfEntriesInCentralDirectory = 0;
    std::uint32_t sizeOfCentralDirectory = 0;
    std::uint32_t offsetToStartOfCentralDirectory = 0;
    Bytes zipFileCommentData;

    std::size_t recordSize() const { return fixedSize + zipFileCommentData.size(); }
};

/// One entry: its central-directory record, its local header, and the data descriptor that
/// follows its data when the flag says there is one. Plain values, safe to copy and keep after
/// the archive is gone.
struct ORVANPUSH_EXPORT Entry {
    /// A regular file, a directory (no data), or a symbolic link (its target is the data).
    enum class EntryType { file = 0, directory = 1, symlink = 2 };

    CentralDirectoryStructure centralDirectoryStructure;
    LocalFileHeader localFileHeader;
    std::optional<DataDescriptor> dataDescriptor;

    /// The entry's path: UTF-8 when flag bit 11 says so, else decoded with `encoding`
    /// (code page 437 when none is given).
    std::string path(std::optional<TextEncoding> encoding = std::nullopt) const;
    /// From the Unix mode in the external attributes, else a trailing "/" means a directory.
    EntryType type() const;
    /// The permission bits (Unix mode without its type); 0o644, or 0o755 for a directory, when
    /// the archive was not made on Unix.
    std::uint16_t permissions() const;
    /// The modification date of the DOS date and time fields, read as UTC.
    Date modificationDate() const;

    /// The CRC-32, sizes and ZIP method number as the central directory states them.
    std::uint32_t checksum() const { return centralDirectoryStructure.crc32; }
    std::uint32_t compressedSize() const { return centralDirectoryStructure.compressedSize; }
    std::uint32_t uncompressedSize() const { return centralDirectoryStructure.uncompressedSize; }
    std::uint16_t compressionMethod() const { return centralDirectoryStructure.compressionMethod; }
    /// Where the entry's data starts in the archive.
    std::uint64_t dataOffset() const {
        return std::uint64_t{centralDirectoryStructure.relativeOffsetOfLocalHeader} +
               localFileHeader.recordSize();
    }
};

}  // namespace orvanpush::zip
