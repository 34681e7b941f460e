#include "orvanpush/zip/ArchiveError.h"

namespace orvanpush::zip {
namespace {

std::string describe(const std::string& name, const std::string& detail) {
    return detail.empty() ? name : name + ": " + detail;
}

}  // namespace

ArchiveError::ArchiveError(Kind kind, const std::string& detail)
    : ZipError(describe(toString(kind), detail)), kind_(kind) {}

DataError::DataError(Kind kind, const std::string& detail)
    : ZipError(describe(toString(kind), detail)), kind_(kind) {}

FileError::FileError(Kind kind, std::filesystem::path path)
    : ZipError(describe(toString(kind), path.string())), kind_(kind), path_(std::move(path)) {}

std::string toString(ArchiveError::Kind kind) {
    using Kind = ArchiveError::Kind;
    switch (kind) {
        case Kind::unreadableArchive:
            return "unreadableArchive";
        case Kind::unwritableArchive:
            return "unwritableArchive";
        case Kind::invalidEntryPath:
            return "invalidEntryPath";
        case Kind::invalidCompressionMethod:
            return "invalidCompressionMethod";
        case Kind::invalidStartOfCentralDirectoryOffset:
            return "invalidStartOfCentralDirectoryOffset";
        case Kind::missingEndOfCentralDirectoryRecord:
            return "missingEndOfCentralDirectoryRecord";
        case Kind::cancelledOperation:
            return "cancelledOperation";
        case Kind::invalidEntrySize:
            return "invalidEntrySize";
        case Kind::tooManyEntries:
            return "tooManyEntries";
        case Kind::invalidCRC32:
            return "invalidCRC32";
        case Kind::uncontainedSymlink:
            return "uncontainedSymlink";
        case Kind::unsupportedZip64:
            return "unsupportedZip64";
    }
    return "unknown";
}

std::string toString(DataError::Kind kind) {
    return kind == DataError::Kind::unreadableFile ? "unreadableFile" : "unwritableFile";
}

std::string toString(FileError::Kind kind) {
    using Kind = FileError::Kind;
    switch (kind) {
        case Kind::fileReadNoSuchFile:
            return "fileReadNoSuchFile";
        case Kind::fileWriteFileExists:
            return "fileWriteFileExists";
        case Kind::fileReadNoPermission:
            return "fileReadNoPermission";
        case Kind::fileNoSuchFile:
            return "fileNoSuchFile";
    }
    return "unknown";
}

}  // namespace orvanpush::zip
