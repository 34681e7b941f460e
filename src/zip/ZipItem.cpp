#include "orvanpush/zip/ZipItem.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "orvanpush/zip/Archive.h"
#include "platform/ItemStatus.h"
#include "platform/RandomAccessFile.h"

namespace orvanpush::zip {
namespace {

namespace fs = std::filesystem;
using platform::ItemStatus;

// "logs/" names the directory "logs", not an unnamed item inside it; a last component of "."
// or ".." names no item that could become an entry.
fs::path normalisedSource(const fs::path& source) {
    std::string text = source.native();
    while (text.size() > 1 && text.ends_with('/')) {
        text.pop_back();
    }
    const fs::path path(text);
    const std::string last = path.filename().native();
    if (last.empty() || last == "." || last == "..") {
        throw ArchiveError(ArchiveError::Kind::invalidEntryPath, source.string());
    }
    return path;
}

fs::path parentOf(const fs::path& path) {
    return path.has_parent_path() ? path.parent_path() : fs::path(".");
}

std::int64_t unitsOf(const ItemStatus& status) {
    return status.type == ItemStatus::Type::directory ? 1 : static_cast<std::int64_t>(status.size);
}

struct Item {
    std::string subpath;  ///< relative to the zipped directory, "/"-separated
    ItemStatus status;
};

// Everything below `directory`, in name order (so a directory comes before its contents),
// without following links and without the archive being written.
std::vector<Item> itemsBelow(const fs::path& directory, const ItemStatus& archive) {
    std::vector<Item> items;
    std::error_code error;
    fs::recursive_directory_iterator walk(directory, error);
    for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
        const auto status = platform::linkStatus(walk->path());
        if (status && !status->sameItem(archive)) {
            items.push_back({walk->path().lexically_relative(directory).generic_string(), *status});
        }
    }
    if (error) {
        throw FileError(FileError::Kind::fileReadNoPermission, directory);
    }
    std::sort(items.begin(), items.end(),
              [](const Item& a, const Item& b) { return a.subpath < b.subpath; });
    return items;
}

void addDirectory(Archive& archive, const fs::path& directory, const fs::path& destination,
                  bool shouldKeepParent, CompressionMethod method,
                  const std::shared_ptr<Progress>& progress) {
    const auto archiveStatus = platform::linkStatus(destination);
    if (!archiveStatus) {
        throw ArchiveError(ArchiveError::Kind::unwritableArchive, destination.string());
    }
    const std::vector<Item> items = itemsBelow(directory, *archiveStatus);
    if (progress) {
        std::int64_t total = 0;
        for (const auto& item : items) {
            total += unitsOf(item.status);
        }
        progress->setTotalUnitCount(total);
    }
    const fs::path base = shouldKeepParent ? parentOf(directory) : directory;
    const std::string prefix = shouldKeepParent ? directory.filename().string() + "/" : "";
    for (const auto& item : items) {
        auto child = progress ? Progress::makeChild(progress, unitsOf(item.status)) : nullptr;
        archive.addEntry(prefix + item.subpath, base, method, Archive::defaultWriteChunkSize,
                         child);
    }
}

// The part of an entry's path below the destination; refuses paths that would leave it.
fs::path containedPath(const std::string& path) {
    const bool valid =
        !path.empty() && !path.starts_with('/') && path.find('\0') == std::string::npos;
    fs::path relative;
    for (const auto& component : fs::path(path)) {
        if (!valid || component == "..") {
            throw ArchiveError(ArchiveError::Kind::invalidEntryPath, path);
        }
        if (!component.empty() && component != ".") {
            relative /= component;
        }
    }
    if (!valid || relative.empty()) {
        throw ArchiveError(ArchiveError::Kind::invalidEntryPath, path);
    }
    return relative;
}

// Creates the directories between `destination` and the item at `relative`, refusing to pass
// through a symbolic link (one an earlier entry made could point anywhere).
void prepareParents(const fs::path& destination, const fs::path& relative) {
    fs::path current = destination;
    for (const auto& component : relative.parent_path()) {
        current /= component;
        const auto status = platform::linkStatus(current);
        if (status && status->type == ItemStatus::Type::symbolicLink) {
            throw ArchiveError(ArchiveError::Kind::uncontainedSymlink, current.string());
        }
        if (status && status->type != ItemStatus::Type::directory) {
            throw FileError(FileError::Kind::fileWriteFileExists, current);
        }
        std::error_code error;
        if (!status && !fs::create_directory(current, error)) {
            throw DataError(DataError::Kind::unwritableFile, current.string());
        }
    }
}

void extractDirectory(const fs::path& target) {
    const auto status = platform::linkStatus(target);
    if (status && status->type == ItemStatus::Type::symbolicLink) {
        throw ArchiveError(ArchiveError::Kind::uncontainedSymlink, target.string());
    }
    if (status && status->type != ItemStatus::Type::directory) {
        throw FileError(FileError::Kind::fileWriteFileExists, target);
    }
    std::error_code error;
    if (!status && !fs::create_directory(target, error)) {
        throw DataError(DataError::Kind::unwritableFile, target.string());
    }
}

void extractFile(const Archive& archive, const Entry& entry, const fs::path& target, bool skipCRC32,
                 const std::shared_ptr<Progress>& progress) {
    // Created exclusively: an existing item, a link included, is never written through.
    auto file = platform::BufferedFile::createExclusive(target, entry.permissions() & 0777);
    if (!file) {
        if (platform::linkStatus(target)) {
            throw FileError(FileError::Kind::fileWriteFileExists, target);
        }
        throw DataError(DataError::Kind::unwritableFile, target.string());
    }
    try {
        archive.extract(
            entry,
            [&](std::span<const std::uint8_t> piece) {
                if (!file->write(piece)) {
                    throw DataError(DataError::Kind::unwritableFile, target.string());
                }
            },
            Archive::defaultReadChunkSize, skipCRC32, progress);
        if (!file->flush()) {
            throw DataError(DataError::Kind::unwritableFile, target.string());
        }
    } catch (...) {
        file.reset();
        std::error_code ignored;
        fs::remove(target, ignored);
        throw;
    }
}

void extractLink(const Archive& archive, const Entry& entry, const fs::path& target, bool skipCRC32,
                 const std::shared_ptr<Progress>& progress) {
    // Checked before decoding: the stated size is what a hostile entry would make us hold.
    if (entry.uncompressedSize() >= PATH_MAX) {
        throw ArchiveError(ArchiveError::Kind::invalidEntrySize,
                           target.string() + ": a link target of " +
                               std::to_string(entry.uncompressedSize()) +
                               " bytes is longer than a path can be");
    }
    std::string linkTarget;
    archive.extract(
        entry,
        [&](std::span<const std::uint8_t> piece) { linkTarget.append(piece.begin(), piece.end()); },
        Archive::defaultReadChunkSize, skipCRC32, progress);
    // The system would cut the target at a NUL and link to somewhere else without a word.
    if (linkTarget.find('\0') != std::string::npos) {
        throw ArchiveError(ArchiveError::Kind::invalidEntryPath,
                           target.string() + ": a link target holding NUL");
    }
    std::error_code error;
    fs::create_symlink(linkTarget, target, error);
    if (error) {
        if (platform::linkStatus(target)) {
            throw FileError(FileError::Kind::fileWriteFileExists, target);
        }
        throw DataError(DataError::Kind::unwritableFile, target.string());
    }
}

}  // namespace

void zipItem(const fs::path& source, const fs::path& destination, bool shouldKeepParent,
             CompressionMethod compressionMethod, const std::shared_ptr<Progress>& progress) {
    const fs::path item = normalisedSource(source);
    const auto status = platform::linkStatus(item);
    if (!status) {
        throw FileError(FileError::Kind::fileReadNoSuchFile, source);
    }
    if (platform::linkStatus(destination)) {
        throw FileError(FileError::Kind::fileWriteFileExists, destination);
    }
    auto archive = Archive::open(destination, Archive::AccessMode::create);
    if (!archive) {
        throw ArchiveError(ArchiveError::Kind::unwritableArchive, destination.string());
    }
    try {
        if (status->type == ItemStatus::Type::directory) {
            addDirectory(*archive, item, destination, shouldKeepParent, compressionMethod,
                         progress);
        } else {
            archive->addEntry(item.filename().string(), parentOf(item), compressionMethod,
                              Archive::defaultWriteChunkSize, progress);
        }
    } catch (...) {
        archive.reset();
        std::error_code ignored;
        fs::remove(destination, ignored);
        throw;
    }
}

void unzipItem(const fs::path& source, const fs::path& destination, bool skipCRC32,
               const std::shared_ptr<Progress>& progress,
               std::optional<TextEncoding> preferredEncoding) {
    const auto archive = Archive::openOrThrow(source, Archive::AccessMode::read, preferredEncoding);
    std::error_code error;
    fs::create_directories(destination, error);
    if (error) {
        throw DataError(DataError::Kind::unwritableFile, destination.string());
    }
    if (progress) {
        std::int64_t total = 0;
        for (const Entry& entry : *archive) {
            total += entry.type() == Entry::EntryType::directory ? 1 : entry.uncompressedSize();
        }
        progress->setTotalUnitCount(total);
    }
    for (const Entry& entry : *archive) {
        const fs::path relative = containedPath(entry.path(preferredEncoding));
        prepareParents(destination, relative);
        const fs::path target = destination / relative;
        const Entry::EntryType type = entry.type();
        auto child = progress ? Progress::makeChild(progress, type == Entry::EntryType::directory
                                                                  ? 1
                                                                  : entry.uncompressedSize())
                              : nullptr;
        switch (type) {
            case Entry::EntryType::directory:
                extractDirectory(target);
                if (child) {
                    child->setTotalUnitCount(1);
                    child->setCompletedUnitCount(1);
                }
                break;
            case Entry::EntryType::symlink:
                extractLink(*archive, entry, target, skipCRC32, child);
                break;
            case Entry::EntryType::file:
                extractFile(*archive, entry, target, skipCRC32, child);
                break;
        }
    }
}

}  // namespace orvanpush::zip
