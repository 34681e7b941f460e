#pragma once

// An independent check of a ZIP archive as the log upload carries it: the end record, every
// central directory entry, the local header each one points to, and each entry's data inflated
// (or read, when stored) and compared with its recorded size and CRC-32.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvanpush::server {

struct ZipEntryInfo {
    std::string name;
    int method = 0;
    std::uint32_t crc32 = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t size = 0;
};

struct ZipCheckResult {
    std::vector<ZipEntryInfo> entries;
    /// Empty for a valid archive; otherwise what is wrong, naming the entry where one is at fault.
    std::string problem;

    bool valid() const { return problem.empty(); }
};

/// Checks the archive `bytes` (single disk, no ZIP64, no encryption, methods 0 and 8).
ZipCheckResult checkZipArchive(std::string_view bytes);

}  // namespace orvanpush::server
