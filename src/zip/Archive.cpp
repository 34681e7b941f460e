#include "orvanpush/zip/Archive.h"

#include <algorithm>

#include "platform/RandomAccessFile.h"
#include "zip/ArchiveFile.h"
#include "zip/MemoryFile.h"
#include "zip/Records.h"

namespace orvanpush::zip {
namespace {

using detail::ArchiveFile;

constexpr mode_t kArchivePermissions = 0600;
constexpr std::uint32_t kReservedMarker = 0xFFFFFFFF;

// A record at `offset` is the end record only when its comment ends exactly at the end of the
// file and the central directory it describes lies before it.
bool isPlausibleEndRecord(const EndOfCentralDirectoryRecord& record, std::uint64_t offset,
                          std::uint64_t fileSize) {
    return offset + record.recordSize() == fileSize &&
           record.offsetToStartOfCentralDirectory != kReservedMarker &&
           record.sizeOfCentralDirectory != kReservedMarker &&
           std::uint64_t{record.offsetToStartOfCentralDirectory} + record.sizeOfCentralDirectory <=
               offset;
}

// Searches backwards from the last place the record can start, as far as the longest comment
// allows.
std::optional<EndOfCentralDirectoryRecord> findEndRecord(ArchiveFile& file) {
    constexpr std::size_t kFixed = EndOfCentralDirectoryRecord::fixedSize;
    const std::uint64_t fileSize = file.size();
    if (fileSize < kFixed) {
        return std::nullopt;
    }
    const std::uint64_t tailSize = std::min<std::uint64_t>(fileSize, kFixed + 0xFFFF);
    const std::uint64_t tailStart = fileSize - tailSize;
    file.seek(tailStart);
    const Bytes tail = file.read(static_cast<std::size_t>(tailSize));
    for (std::size_t at = tail.size() - kFixed + 1; at-- > 0;) {
        const std::span<const std::uint8_t> fixed(tail.data() + at, kFixed);
        if (detail::ByteReader(fixed).u32() != EndOfCentralDirectoryRecord::signature) {
            continue;
        }
        auto record = detail::decodeEndOfCentralDirectoryRecord(fixed);
        if (!isPlausibleEndRecord(record, tailStart + at, fileSize)) {
            continue;
        }
        std::copy_n(tail.begin() + static_cast<std::ptrdiff_t>(at + kFixed),
                    record.zipFileCommentData.size(), record.zipFileCommentData.begin());
        return record;
    }
    return std::nullopt;
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
    std::unique_ptr<platform::RandomAccessFile> file;
    if (accessMode == AccessMode::create) {
        file = platform::BufferedFile::createExclusive(url, kArchivePermissions);
        if (file && !writeEmptyArchive(*file)) {
            file.reset();
            std::error_code ignored;
            std::filesystem::remove(url, ignored);
        }
    } else {
        file = platform::BufferedFile::open(url, accessMode == AccessMode::read
                                                     ? platform::BufferedFile::Access::read
                                                     : platform::BufferedFile::Access::readWrite);
    }
    if (!file) {
        return nullptr;
    }
    return finishOpening(url, accessMode, preferredEncoding,
                         std::make_unique<ArchiveFile>(std::move(file)), nullptr);
}

std::unique_ptr<Archive> Archive::open(Bytes data, AccessMode accessMode,
                                       std::optional<TextEncoding> preferredEncoding) {
    if (accessMode == AccessMode::create && !data.empty()) {
        return nullptr;
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
    std::optional<EndOfCentralDirectoryRecord> endRecord;
    try {
        endRecord = findEndRecord(*file);
        file->seek(0);
    } catch (const DataError&) {
        return nullptr;
    }
    if (!endRecord) {
        return nullptr;
    }
    auto archive = std::make_unique<Archive>(Token{}, std::move(url), mode, encoding,
                                             std::move(file), memoryFile);
    archive->endRecord_ = std::move(*endRecord);
    return archive;
}

std::optional<Bytes> Archive::data() const {
    return memoryFile_ ? std::optional<Bytes>(memoryFile_->bytes()) : std::nullopt;
}

}  // namespace orvanpush::zip
