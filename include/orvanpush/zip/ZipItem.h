#pragma once

// Zipping a file or a directory into a new archive, and unzipping an archive into a
// directory.
//
//   orvanpush::zip::zipItem("logs", "logs.zip", true, CompressionMethod::deflate);
//   // entries "logs/a.log", "logs/b.log"

#include <filesystem>
#include <memory>
#include <optional>
#include "orvanpush/Export.h"

#include "orvanpush/zip/CompressionMethod.h"
#include "orvanpush/zip/Entry.h"
#include "orvanpush/zip/Progress.h"

namespace orvanpush::zip {

/// Writes a new archive at `destination` holding `source`: a file (or link) as one entry named
/// after it; a directory as one entry per item below it (directories first, links not
/// followed), named relative to the directory, or to its parent with `shouldKeepParent`. The
/// archive being written is never added to itself. With a progress object its total is 1 per
/// directory plus the bytes of every other item.
/// Throws `FileError` `fileReadNoSuchFile` when the source is missing, `fileWriteFileExists`
/// when the destination exists, `ArchiveError` `invalidEntryPath` for a source whose last
/// component is "." or "..", `unwritableArchive` when the archive cannot be created, and
/// whatever an add throws; on failure the destination it created is removed.
ORVANPUSH_EXPORT void zipItem(const std::filesystem::path& source,
                              const std::filesystem::path& destination,
                              bool shouldKeepParent = true,
                              CompressionMethod compressionMethod = CompressionMethod::none,
                              const std::shared_ptr<Progress>& progress = nullptr);

/// Extracts every entry of the archive at `source` below `destination` (created when missing),
/// checking each entry's CRC-32 unless `skipCRC32`. Entry paths that are absolute, climb out
/// with "..", or hold NUL throw `ArchiveError` `invalidEntryPath`; a path through a symbolic
/// link throws `uncontainedSymlink`; an existing file throws `FileError`
/// `fileWriteFileExists`; a link whose target would be `PATH_MAX` bytes or more throws
/// `invalidEntrySize` before it is read. Throws as `Archive::openOrThrow` does when `source`
/// cannot be read as an archive.
ORVANPUSH_EXPORT void unzipItem(const std::filesystem::path& source,
                                const std::filesystem::path& destination, bool skipCRC32 = false,
                                const std::shared_ptr<Progress>& progress = nullptr,
                                std::optional<TextEncoding> preferredEncoding = {});

}  // namespace orvanpush::zip
