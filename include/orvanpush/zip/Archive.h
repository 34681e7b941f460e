#pragma once

// A ZIP archive on disk or in memory, built in place: each added entry is written where the
// central directory began, followed by the central directory and a fresh end record. An add
// that fails or is cancelled leaves the archive exactly as it was.
//
//   auto archive = Archive::open(path, Archive::AccessMode::create);
//   if (!archive) { /* the path exists or cannot be created */ }
//   archive->addEntry("log.txt", directory, CompressionMethod::deflate);
//
//   auto reader = Archive::open(path, Archive::AccessMode::read);
//   for (const Entry& entry : *reader) {
//       reader->extract(entry, [&](std::span<const std::uint8_t> piece) { use(piece); });
//   }
//
// Entries are written with UTF-8 names, no extra fields, data descriptors, comments or
// ZIP64 records; archives are created with mode 0600. An `Archive` is used by one thread at a
// time.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <memory>
#include <optional>
#include <string_view>
#include "orvanpush/Export.h"

#include "orvanpush/Types.h"
#include "orvanpush/zip/ArchiveError.h"
#include "orvanpush/zip/CompressionMethod.h"
#include "orvanpush/zip/DataCompression.h"
#include "orvanpush/zip/Entry.h"
#include "orvanpush/zip/Progress.h"

namespace orvanpush::zip {

namespace detail {
class ArchiveFile;
class MemoryFile;
}  // namespace detail

class ORVANPUSH_EXPORT Archive {
  public:
    /// `create` makes a new archive, `read` only reads, `update` reads and adds entries.
    enum class AccessMode : unsigned { create = 0, read = 1, update = 2 };
    using ArchiveError = zip::ArchiveError;

    /// Piece sizes of extract and addEntry, and the modes an entry gets when none is given.
    static constexpr std::uint32_t defaultReadChunkSize = 16384;
    static constexpr std::uint32_t defaultWriteChunkSize = 16384;
    static constexpr std::uint16_t defaultFilePermissions = 0644;
    static constexpr std::uint16_t defaultDirectoryPermissions = 0755;

    /// Opens the archive at `url`, or creates an empty one (0600) in `create` mode. Nothing
    /// when `openOrThrow` would throw.
    static std::unique_ptr<Archive> open(const std::filesystem::path& url, AccessMode accessMode,
                                         std::optional<TextEncoding> preferredEncoding = {});
    /// An archive in memory over `data` (which must be empty in `create` mode). Nothing when
    /// `openOrThrow` would throw.
    static std::unique_ptr<Archive> open(Bytes data, AccessMode accessMode,
                                         std::optional<TextEncoding> preferredEncoding = {});

    /// As `open`, but says why an archive cannot be had. The end record must close the file
    /// and the central directory must end exactly where it starts; in `update` mode every
    /// entry's records are read first, so an add never writes over data it did not find.
    /// Throws `FileError` `fileReadNoSuchFile` (missing) or `fileWriteFileExists` (`create`);
    /// `ArchiveError` `unwritableArchive` (cannot be created),
    /// `missingEndOfCentralDirectoryRecord`, `unsupportedZip64` (more than 65535 entries or 4 GiB),
    /// or `unreadableArchive` (a directory that does not meet its end record or its count, a
    /// damaged record, several disks); `DataError` when reading fails.
    static std::unique_ptr<Archive> openOrThrow(const std::filesystem::path& url,
                                                AccessMode accessMode,
                                                std::optional<TextEncoding> preferredEncoding = {});
    /// The same for an archive in memory over `data`.
    static std::unique_ptr<Archive> openOrThrow(Bytes data, AccessMode accessMode,
                                                std::optional<TextEncoding> preferredEncoding = {});

    /// Closes the file; each add already left a complete archive behind.
    ~Archive();
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    /// The archive's file; empty for an archive in memory.
    const std::filesystem::path& url() const { return url_; }
    /// The mode and the name encoding the archive was opened with.
    AccessMode accessMode() const { return accessMode_; }
    const std::optional<TextEncoding>& preferredEncoding() const { return preferredEncoding_; }
    /// The end record as of the last successful add.
    const EndOfCentralDirectoryRecord& endOfCentralDirectoryRecord() const { return endRecord_; }
    /// The bytes of an archive in memory; nothing for one on disk.
    std::optional<Bytes> data() const;

    /// Adds the item at `baseURL` / `path` under the entry name `path`: a regular file with its
    /// contents, a directory (name ending in "/", no data), or a symbolic link (its target,
    /// stored) with the item's mode and modification time. Throws `FileError` when the item is
    /// missing or unreadable, `DataError` `unreadableFile` when it yields fewer bytes than its
    /// size, and as the core `addEntry` does.
    void addEntry(std::string_view path, const std::filesystem::path& baseURL,
                  CompressionMethod compressionMethod = CompressionMethod::none,
                  std::uint32_t bufferSize = defaultWriteChunkSize,
                  const std::shared_ptr<Progress>& progress = nullptr);

    /// Adds an entry whose `uncompressedSize` bytes come from `provider`, asked for pieces of at
    /// most `bufferSize` bytes. Directories and symbolic links are always stored; `permissions`
    /// defaults to 0o644 (0o755 for a directory). Throws `ArchiveError` (`unwritableArchive` in
    /// read mode, `invalidEntryPath`, `invalidCompressionMethod`, `invalidEntrySize`,
    /// `tooManyEntries`, `invalidStartOfCentralDirectoryOffset`, `cancelledOperation`),
    /// `DataError`, `CompressionError`, or what the provider threw; `std::invalid_argument` for
    /// a `bufferSize` of 0. On any failure the archive is left as it was.
    void addEntry(std::string_view path, Entry::EntryType type, std::uint64_t uncompressedSize,
                  Date modificationDate, std::optional<std::uint16_t> permissions,
                  CompressionMethod compressionMethod, std::uint32_t bufferSize,
                  const std::shared_ptr<Progress>& progress, const Provider& provider);

    /// The entries in central-directory order. Reading a damaged record, or a directory that
    /// holds more or fewer records than the end record counts, throws `ArchiveError`
    /// `unreadableArchive`.
    class ORVANPUSH_EXPORT Iterator {
      public:
        using iterator_category = std::input_iterator_tag;
        using value_type = Entry;
        using difference_type = std::ptrdiff_t;
        using pointer = const Entry*;
        using reference = const Entry&;

        /// The end iterator; the others come from `begin`. Dereferencing gives the current entry,
        /// `++` reads the next one (and throws as described above); iterators compare equal when as
        /// many entries remain after them.
        Iterator() = default;
        reference operator*() const { return entry_; }
        pointer operator->() const { return &entry_; }
        Iterator& operator++();
        void operator++(int) { ++*this; }
        bool operator==(const Iterator& other) const { return remaining_ == other.remaining_; }

      private:
        friend class Archive;
        Iterator(const Archive* archive, std::uint64_t offset, std::uint32_t remaining);
        void load();

        const Archive* archive_ = nullptr;
        std::uint64_t offset_ = 0;     ///< of the central directory header to read next
        std::uint32_t remaining_ = 0;  ///< entries from the current one to the end
        Entry entry_;
    };

    /// The first entry (throws `unreadableArchive` when its record is damaged) and the end.
    Iterator begin() const;
    Iterator end() const { return {}; }
    /// The first entry whose path is `path`; nothing when there is none.
    std::optional<Entry> find(std::string_view path) const;

    /// Hands the entry's content to `consumer` in pieces and returns its CRC-32 (0 with
    /// `skipCRC32`). Throws `ArchiveError` `invalidCRC32` when the content does not match the
    /// checksum, `invalidEntrySize` when it is not exactly the stated size (decoding stops at
    /// that size), `invalidCompressionMethod`, `cancelledOperation`, and `CompressionError`
    /// for a damaged stream.
    std::uint32_t extract(const Entry& entry, const Consumer& consumer,
                          std::uint32_t bufferSize = defaultReadChunkSize, bool skipCRC32 = false,
                          const std::shared_ptr<Progress>& progress = nullptr) const;

    /// Only `open` makes archives.
    class ORVANPUSH_EXPORT Token {
        friend class Archive;
        Token() = default;
    };
    /// Not for hosts (they cannot name the token): archives come from `open`.
    Archive(Token, std::filesystem::path url, AccessMode accessMode,
            std::optional<TextEncoding> preferredEncoding,
            std::unique_ptr<detail::ArchiveFile> file, const detail::MemoryFile* memoryFile);

  private:
    static std::unique_ptr<Archive> finishOpening(std::filesystem::path url, AccessMode mode,
                                                  std::optional<TextEncoding> encoding,
                                                  std::unique_ptr<detail::ArchiveFile> file,
                                                  const detail::MemoryFile* memoryFile);

    struct PendingEntry;
    PendingEntry prepareEntry(std::string_view path, Entry::EntryType type,
                              std::uint64_t uncompressedSize, Date modificationDate,
                              std::optional<std::uint16_t> permissions,
                              CompressionMethod compressionMethod, std::uint32_t bufferSize) const;
    void writeEntry(PendingEntry& pending, const Bytes& oldCentralDirectory,
                    std::uint32_t bufferSize, const std::shared_ptr<Progress>& progress,
                    const Provider& provider);
    std::uint32_t writeData(PendingEntry& pending, std::uint32_t bufferSize,
                            const std::shared_ptr<Progress>& progress, const Provider& provider);
    void rollBack(std::uint64_t localHeaderOffset, const Bytes& oldCentralDirectory) noexcept;
    Entry readEntry(std::uint64_t centralDirectoryOffset) const;

    std::filesystem::path url_;
    AccessMode accessMode_;
    std::optional<TextEncoding> preferredEncoding_;
    std::unique_ptr<detail::ArchiveFile> file_;
    const detail::MemoryFile* memoryFile_;  ///< the bytes behind `file_` when in memory
    EndOfCentralDirectoryRecord endRecord_;
};

}  // namespace orvanpush::zip
