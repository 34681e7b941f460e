#include "zip/UnixMode.h"

namespace orvanpush::zip::detail {
namespace {

constexpr std::uint16_t kTypeMask = 0170000;
constexpr std::uint16_t kRegularFileType = 0100000;
constexpr std::uint16_t kDirectoryType = 0040000;
constexpr std::uint16_t kSymbolicLinkType = 0120000;

}  // namespace

std::uint16_t unixTypeBits(Entry::EntryType type) {
    switch (type) {
        case Entry::EntryType::directory:
            return kDirectoryType;
        case Entry::EntryType::symlink:
            return kSymbolicLinkType;
        case Entry::EntryType::file:
            break;
    }
    return kRegularFileType;
}

std::optional<Entry::EntryType> entryTypeOfUnixMode(std::uint16_t mode) {
    switch (mode & kTypeMask) {
        case 0:
            return std::nullopt;
        case kDirectoryType:
            return Entry::EntryType::directory;
        case kSymbolicLinkType:
            return Entry::EntryType::symlink;
        default:
            return Entry::EntryType::file;
    }
}

}  // namespace orvanpush::zip::detail
