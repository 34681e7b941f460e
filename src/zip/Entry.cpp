#include "orvanpush/zip/Entry.h"

#include "zip/DosDateTime.h"
#include "zip/EntryName.h"

namespace orvanpush::zip {
namespace {

constexpr std::uint16_t kUtf8NameFlag = 0x0800;
constexpr int kUnixHost = 3;
constexpr std::uint16_t kTypeMask = 0170000;
constexpr std::uint16_t kDirectoryType = 0040000;
constexpr std::uint16_t kSymbolicLinkType = 0120000;
constexpr std::uint32_t kDosDirectoryAttribute = 0x10;

bool madeOnUnix(const CentralDirectoryStructure& header) {
    return header.versionMadeBy >> 8 == kUnixHost;
}

std::uint16_t unixMode(const CentralDirectoryStructure& header) {
    return static_cast<std::uint16_t>(header.externalFileAttributes >> 16);
}

}  // namespace

std::string Entry::path(std::optional<TextEncoding> encoding) const {
    const auto& header = centralDirectoryStructure;
    return detail::decodeEntryName(header.fileNameData,
                                   (header.generalPurposeBitFlag & kUtf8NameFlag) != 0, encoding);
}

Entry::EntryType Entry::type() const {
    const auto& header = centralDirectoryStructure;
    const std::uint16_t typeBits = unixMode(header) & kTypeMask;
    if (madeOnUnix(header) && typeBits != 0) {
        if (typeBits == kDirectoryType) {
            return EntryType::directory;
        }
        return typeBits == kSymbolicLinkType ? EntryType::symlink : EntryType::file;
    }
    const bool slashEnded = !header.fileNameData.empty() && header.fileNameData.back() == '/';
    const bool dosDirectory = (header.externalFileAttributes & kDosDirectoryAttribute) != 0;
    return slashEnded || dosDirectory ? EntryType::directory : EntryType::file;
}

std::uint16_t Entry::permissions() const {
    const auto& header = centralDirectoryStructure;
    if (madeOnUnix(header) && (unixMode(header) & kTypeMask) != 0) {
        return unixMode(header) & 07777;
    }
    return type() == EntryType::directory ? 0755 : 0644;
}

Date Entry::modificationDate() const {
    return detail::fromDosDateTime(centralDirectoryStructure.lastModFileDate,
                                   centralDirectoryStructure.lastModFileTime);
}

}  // namespace orvanpush::zip
