#pragma once

// The errors of archive operations. Each carries its case; `what()` is the case's name,
// followed by ": " and the path or detail it is about when there is one.

#include <filesystem>
#include <string>
#include "orvanpush/Export.h"

#include "orvanpush/zip/ZipError.h"

namespace orvanpush::zip {

/// A failure of the archive's structure or of the operation asked of it.
class ORVANPUSH_EXPORT ArchiveError : public ZipError {
  public:
    enum class Kind {
        unreadableArchive,         ///< the archive's records are missing, damaged or unreadable
        unwritableArchive,         ///< the archive cannot be created, or was opened for reading
        invalidEntryPath,          ///< a name that is empty, not UTF-8, holds NUL, is too long,
                                   ///< or would leave the destination when extracted
        invalidCompressionMethod,  ///< neither stored nor deflate
        invalidStartOfCentralDirectoryOffset,  ///< an offset or directory size past 32 bits
        missingEndOfCentralDirectoryRecord,    ///< no end record where one must be
        cancelledOperation,                    ///< the progress object was cancelled
        invalidEntrySize,    ///< a size past 32 bits, or data that disagrees with its size
        tooManyEntries,      ///< the archive already holds 65535 entries
        invalidCRC32,        ///< extracted data does not match the entry's checksum
        uncontainedSymlink,  ///< extracting would write through a link an entry made
        unsupportedZip64,    ///< the directory lies in ZIP64 records, which are not read
    };

    /// An error of case `kind`; `detail` (a path or reason) follows the case's name in `what()`.
    explicit ArchiveError(Kind kind, const std::string& detail = {});
    /// The case.
    Kind kind() const noexcept { return kind_; }

  private:
    Kind kind_;
};

/// Reading or writing the bytes of a file or stream failed.
class ORVANPUSH_EXPORT DataError : public ZipError {
  public:
    enum class Kind {
        unreadableFile,  ///< fewer bytes than asked for could be read
        unwritableFile,  ///< bytes could not be written, flushed or truncated
    };

    /// An error of case `kind` with an optional `detail`, as ArchiveError.
    explicit DataError(Kind kind, const std::string& detail = {});
    /// The case.
    Kind kind() const noexcept { return kind_; }

  private:
    Kind kind_;
};

/// A file-system item is missing, in the way, or not readable.
class ORVANPUSH_EXPORT FileError : public ZipError {
  public:
    enum class Kind {
        fileReadNoSuchFile,    ///< the item to read does not exist
        fileWriteFileExists,   ///< the item to create already exists
        fileReadNoPermission,  ///< the item exists but cannot be read
        fileNoSuchFile,        ///< the item vanished before it could be opened
    };

    /// An error of case `kind` about the item at `path` (which follows the case's name in
    /// `what()`).
    FileError(Kind kind, std::filesystem::path path);
    /// The case.
    Kind kind() const noexcept { return kind_; }
    /// The item the error is about.
    const std::filesystem::path& path() const noexcept { return path_; }

  private:
    Kind kind_;
    std::filesystem::path path_;
};

/// The case names, as in the enumerations.
ORVANPUSH_EXPORT std::string toString(ArchiveError::Kind kind);
ORVANPUSH_EXPORT std::string toString(DataError::Kind kind);
ORVANPUSH_EXPORT std::string toString(FileError::Kind kind);

}  // namespace orvanpush::zip
