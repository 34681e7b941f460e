#include "orvanpush/zip/Entry.h"

#include "zip/DosDateTime.h"
#include "zip/EntryName.h"
#include "zip/Records.h"
#include "zip/UnixMode.h"

namespace orvanpush::zip {
namespace {

constexpr std::uint32_t kDosDirectoryAttribute = 0x10;

// The Unix mode the record holds, when it holds one with a file type.
std::optional<std::uint16_t> unixMode(const CentralDirectoryStructure& header) {
    const auto mode = static_cast<std::uint16_t>(header.externalFileAttributes >> 16);
    if (header.versionMadeBy >> 8 != detail::kUnixHost || !detail::entryTypeOfUnixMode(mode)) {
        return std::nullopt;
    }
    return mode;
}

}  // namespace

std::string Entry::path(std::optional<TextEncoding> encoding) const {
    const auto& header = centralDirectoryStructure;
    return detail::decodeEntryName(
        header.fileNameData, (header.generalPurposeBitFlag & detail::kUtf8NameFlag) != 0, encoding);
}

Entry::EntryType Entry::type() const {
    const auto& header = centralDirectoryStructure;
    if (const auto mode = unixMode(header)) {
        return *detail::entryTypeOfUnixMode(*mode);
    }
    const bool slashEnded = !header.fileNameData.empty() && header.fileNameData.back() == '/';
    const bool dosDirectory = (header.externalFileAttributes & kDosDirectoryAttribute) != 0;
    return slashEnded || dosDirectory ? EntryType::directory : EntryType::file;
}

std::uint16_t Entry::permissions() const {
    if (const auto mode = unixMode(centralDirectoryStructure)) {
        return *mode & 07777;
    }
    return type() == EntryType::directory ? 0755 : 0644;
}

Date Entry::modificationDate() const {
    return detail::fromDosDateTime(centralDirectoryStructure.lastModFileDate,
                                   centralDirectoryStructure.lastModFileTime);
}

}  // namespace orvanpush::zip
