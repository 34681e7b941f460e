#include "orvanpush/zip/Archive.h"

#include <algorithm>

#include "platform/ItemStatus.h"
#include "platform/RandomAccessFile.h"
#include "zip/ArchiveFile.h"
#include "zip/MemoryFile.h"
#include "zip/Records.h"

namespace orvanpush::zip {
namespace {

using detail::ArchiveFile;

constexpr mode_t kArchivePermissions = 0600;
constexpr std::uint32_t kReservedMarker = 0xFFFFFFFF;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr std::size_t kZip64LocatorSize = 20;

// Why the record at `offset` (which, with its comment, ends the file) cannot be read as the end
// record of `archive` (its name in messages); nothing when it can. `zip64Locator` tells whether
// the bytes before it are shaped like the locator of ZIP64 records.
std::optional<ArchiveError> problemOf(const std::string& archive,
                                      const EndOfCentralDirectoryRecord& record,
                                      std::uint64_t offset, bool zip64Locator) {
    using Kind = ArchiveError::Kind;
    const std::uint64_t directoryEnd =
        std::uint64_t{record.offsetToStartOfCentralDirectory} + record.sizeOfCentralDirectory;
    const bool reserved = record.offsetToStartOfCentralDirectory == kReservedMarker ||
                          record.sizeOfCentralDirectory == kReservedMarker;
    if (reserved || (zip64Locator && directoryEnd != offset)) {
        return ArchiveError(Kind::unsupportedZip64,
                            archive +
                                " keeps its directory in ZIP64 records (more than 65535 entries "
                                "or 4 GiB), which cannot be read");
    }
    if (record.numberOfDisk != 0 || record.numberOfDiskStart != 0 ||
        record.totalNumberOfEntriesOnDisk != record.totalNumberOfEntriesInCentralDirectory) {
        return ArchiveError(Kind::unreadableArchive, archive + " spans several disks");
    }
    if (directoryEnd != offset) {
        return ArchiveError(
            Kind::unreadableArchive,
            archive + ": the central directory (" + std::to_string(record.sizeOfCentralDirectory) +
                " bytes from " + std::to_string(record.offsetToStartOfCentralDirectory) +
                ") does not end where the end record starts (" + std::to_string(offset) + ")");
    }
    return std::nullopt;
}

// The end record is the last one that, comment included, ends exactly at the end of the file
// and closes its central directory. The search goes backwards from the last place it can start,
// as far as the longest comment allows. Throws `ArchiveError` saying why there is none.
EndOfCentralDirectoryRecord findEndRecord(ArchiveFile& file, const std::string& archive) {
    constexpr std::size_t kFixed = EndOfCentralDirectoryRecord::fixedSize;
    const std::uint64_t fileSize = file.size();
    if (fileSize < kFixed) {
        throw ArchiveError(ArchiveError::Kind::missingEndOfCentralDirectoryRecord,
                           archive + " is shorter than an end record");
    }
    const std::uint64_t tailSize =
        std::min<std::uint64_t>(fileSize, kZip64LocatorSize + kFixed + 0xFFFF);
    const std::uint64_t tailStart = fileSize - tailSize;
    file.seek(tailStart);
    const Bytes tail = file.read(static_cast<std::size_t>(tailSize));
    auto u32At = [&](std::size_t at) { return detail::ByteReader({tail.data() + at, 4}).u32(); };
    std::optional<ArchiveError> firstProblem;
    for (std::size_t at = tail.size() - kFixed + 1; at-- > 0;) {
        if (u32At(at) != EndOfCentralDirectoryRecord::signature) {
            continue;
        }
        auto record = detail::decodeEndOfCentralDirectoryRecord({tail.data() + at, kFixed});
        if (tailStart + at + record.recordSize() != fileSize) {
            continue;  // signature bytes inside entry data or a comment
        }
        const bool zip64Locator =
            at >= kZip64LocatorSize && u32At(at - kZip64LocatorSize) == kZip64LocatorSignature;
        if (auto problem = problemOf(archive, record, tailStart + at, zip64Locator)) {
            if (!firstProblem) {
                firstProblem = std::move(problem);
            }
            continue;
        }
        std::copy_n(tail.begin() + static_cast<std::ptrdiff_t>(at + kFixed),
                    record.zipFileCommentData.size(), record.zipFileCommentData.begin());
        return record;
    }
    throw firstProblem.value_or(ArchiveError(ArchiveError::Kind::missingEndOfCentralDirectoryRecord,
                                             "no end record closes " + archive));
}

bool writeEmptyArchive(platform::RandomAccessFile& file) {
    const Bytes record = detail::encode(EndOfCentralDirectoryRecord{});
    return file.write(record) && file.flush();
}

}  // namespace

Archive::Archive(Token, std::filesystem::path url, AccessMode accessMode,
                 std::optional<TextEncoding> preferredEncoding,
                 std::unique_ptr<detail::ArchiveFile> file, const detail::MemoryFile* memoryFile)
    : url_(std::move(url)),
      accessMode_(accessMode),
      preferredEncoding_(preferredEncoding),
      file_(std::move(file)),
      memoryFile_(memoryFile) {}

Archive::~Archive() = default;

std::unique_ptr<Archive> Archive::open(const std::filesystem::path& url, AccessMode accessMode,
                                       std::optional<TextEncoding> preferredEncoding) {
    try {
        return openOrThrow(url, accessMode, preferredEncoding);
    } catch (const ZipError&) {
        return nullptr;
    }
}

std::unique_ptr<Archive> Archive::open(Bytes data, AccessMode accessMode,
                                       std::optional<TextEncoding> preferredEncoding) {
    try {
        return openOrThrow(std::move(data), accessMode, preferredEncoding);
    } catch (const ZipError&) {
        return nullptr;
    }
}

std::unique_ptr<Archive> Archive::openOrThrow(const std::filesystem::path& url,
                                              AccessMode accessMode,
                                              std::optional<TextEncoding> preferredEncoding) {
    std::unique_ptr<platform::RandomAccessFile> file;
    if (accessMode == AccessMode::create) {
        file = platform::BufferedFile::createExclusive(url, kArchivePermissions);
        if (!file && platform::linkStatus(url)) {
            throw FileError(FileError::Kind::fileWriteFileExists, url);
        }
        if (file && !writeEmptyArchive(*file)) {
            file.reset();
            std::error_code ignored;
            std::filesystem::remove(url, ignored);
        }
        if (!file) {
            throw ArchiveError(ArchiveError::Kind::unwritableArchive, url.string());
        }
    } else {
        file = platform::BufferedFile::open(url, accessMode == AccessMode::read
                                                     ? platform::BufferedFile::Access::read
                                                     : platform::BufferedFile::Access::readWrite);
        if (!file && !platform::linkStatus(url)) {
            throw FileError(FileError::Kind::fileReadNoSuchFile, url);
        }
        if (!file) {
            throw ArchiveError(ArchiveError::Kind::unreadableArchive,
                               url.string() + " cannot be opened as a regular file");
        }
    }
    return finishOpening(url, accessMode, preferredEncoding,
                         std::make_unique<ArchiveFile>(std::move(file)), nullptr);
}

std::unique_ptr<Archive> Archive::openOrThrow(Bytes data, AccessMode accessMode,
                                              std::optional<TextEncoding> preferredEncoding) {
    if (accessMode == AccessMode::create && !data.empty()) {
        throw ArchiveError(ArchiveError::Kind::unwritableArchive,
                           "a new archive in memory starts from no bytes");
    }
    auto memory = std::make_unique<detail::MemoryFile>(std::move(data));
    if (accessMode == AccessMode::create) {
        writeEmptyArchive(*memory);
    }
    const detail::MemoryFile* memoryFile = memory.get();
    return finishOpening({}, accessMode, preferredEncoding,
                         std::make_unique<ArchiveFile>(std::move(memory)), memoryFile);
}

std::unique_ptr<Archive> Archive::finishOpening(std::filesystem::path url, AccessMode mode,
                                                std::optional<TextEncoding> encoding,
                                                std::unique_ptr<detail::ArchiveFile> file,
                                                const detail::MemoryFile* memoryFile) {
    auto endRecord = findEndRecord(*file, memoryFile ? "the archive in memory" : url.string());
    file->seek(0);
    auto archive = std::make_unique<Archive>(Token{}, std::move(url), mode, encoding,
                                             std::move(file), memoryFile);
    archive->endRecord_ = std::move(endRecord);
    if (mode == AccessMode::update) {
        // Entries are added where the directory starts: every record must be where the end
        // record says, or an add would write over data or leave entries unreachable.
        for ([[maybe_unused]] const Entry& entry : *archive) {
        }
    }
    return archive;
}

std::optional<Bytes> Archive::data() const {
    return memoryFile_ ? std::optional<Bytes>(memoryFile_->bytes()) : std::nullopt;
}

}  // namespace orvanpush::zip
