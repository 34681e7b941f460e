#include "ZipArchiveCheck.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <optional>

namespace orvanpush::server {
namespace {

constexpr std::uint32_t localHeaderSignature = 0x04034b50;
constexpr std::uint32_t centralHeaderSignature = 0x02014b50;
constexpr std::uint32_t endRecordSignature = 0x06054b50;
constexpr std::uint32_t dataDescriptorSignature = 0x08074b50;
constexpr std::size_t endRecordSize = 22;
constexpr std::size_t centralHeaderSize = 46;
constexpr std::size_t localHeaderSize = 30;
constexpr std::uint16_t encryptedFlag = 1 << 0;
constexpr std::uint16_t dataDescriptorFlag = 1 << 3;

// Little-endian fields read with bounds checks: a read past the end yields nothing.
class Reader {
  public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}

    std::optional<std::uint32_t> field(std::size_t offset, std::size_t width) const {
        if (offset > bytes_.size() || bytes_.size() - offset < width) {
            return std::nullopt;
        }
        std::uint32_t value = 0;
        for (std::size_t index = width; index-- > 0;) {
            value = value << 8 | static_cast<unsigned char>(bytes_[offset + index]);
        }
        return value;
    }
    std::uint32_t u16(std::size_t offset) const { return field(offset, 2).value_or(0); }
    std::uint32_t u32(std::size_t offset) const { return field(offset, 4).value_or(0); }
    bool fits(std::size_t offset, std::size_t length, std::size_t limit) const {
        return offset <= limit && limit <= bytes_.size() && limit - offset >= length;
    }
    std::string_view slice(std::size_t offset, std::size_t length) const {
        return bytes_.substr(offset, length);
    }

  private:
    std::string_view bytes_;
};

struct CentralEntry {
    ZipEntryInfo info;
    std::uint16_t flags = 0;
    std::size_t localOffset = 0;
};

std::uint32_t crcOf(std::string_view bytes) {
    std::uint32_t crc = ::crc32(0L, Z_NULL, 0);
    // zlib's length is a uInt: feed large inputs in pieces.
    for (std::size_t offset = 0; offset < bytes.size(); offset += 1u << 30) {
        const auto piece = bytes.substr(offset, 1u << 30);
        crc = ::crc32(crc, reinterpret_cast<const Bytef*>(piece.data()),
                      static_cast<uInt>(piece.size()));
    }
    return crc;
}

// Inflates raw DEFLATE data that must decode to exactly `expectedSize` bytes, consuming all of
// `compressed`; returns the CRC-32 of the output, or a problem.
std::optional<std::uint32_t> inflateAndCrc(std::string_view compressed, std::uint64_t expectedSize,
                                           std::string& problem) {
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
        problem = "cannot start inflating";
        return std::nullopt;
    }
    std::array<Bytef, 64 * 1024> window{};
    std::uint32_t crc = ::crc32(0L, Z_NULL, 0);
    std::uint64_t produced = 0;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    stream.avail_in = static_cast<uInt>(compressed.size());
    int status = Z_OK;
    while (status == Z_OK) {
        stream.next_out = window.data();
        stream.avail_out = static_cast<uInt>(window.size());
        status = inflate(&stream, Z_NO_FLUSH);
        const std::size_t chunk = window.size() - stream.avail_out;
        produced += chunk;
        if (produced > expectedSize) {
            problem = "inflates to more than its recorded size";
            break;
        }
        crc = ::crc32(crc, window.data(), static_cast<uInt>(chunk));
        if (status == Z_BUF_ERROR && chunk == 0) {
            problem = "its compressed data ends before the end of the deflate stream";
        }
    }
    inflateEnd(&stream);
    if (problem.empty() && status != Z_STREAM_END) {
        problem = "its compressed data is not a valid deflate stream";
    } else if (problem.empty() && stream.avail_in != 0) {
        problem = "its compressed data goes on after the end of the deflate stream";
    } else if (problem.empty() && produced != expectedSize) {
        problem = "inflates to fewer bytes than its recorded size";
    }
    return problem.empty() ? std::optional(crc) : std::nullopt;
}

std::optional<std::size_t> findEndRecord(const Reader& reader, std::size_t size) {
    if (size < endRecordSize) {
        return std::nullopt;
    }
    const std::size_t lowest =
        size - endRecordSize - std::min<std::size_t>(size - endRecordSize, 0xffff);
    for (std::size_t offset = size - endRecordSize + 1; offset-- > lowest;) {
        if (reader.u32(offset) == endRecordSignature &&
            offset + endRecordSize + reader.u16(offset + 20) == size) {
            return offset;
        }
    }
    return std::nullopt;
}

class ArchiveChecker {
  public:
    explicit ArchiveChecker(std::string_view bytes) : bytes_(bytes), reader_(bytes) {}

    ZipCheckResult run() {
        ZipCheckResult result;
        result.problem = check(result.entries);
        return result;
    }

  private:
    std::string check(std::vector<ZipEntryInfo>& entries) {
        const auto endRecord = findEndRecord(reader_, bytes_.size());
        if (!endRecord) {
            return "no end of central directory record ends the file";
        }
        const std::size_t end = *endRecord;
        const std::uint32_t entryCount = reader_.u16(end + 10);
        const std::uint32_t directorySize = reader_.u32(end + 12);
        const std::uint32_t directoryOffset = reader_.u32(end + 16);
        if (reader_.u16(end + 4) != 0 || reader_.u16(end + 6) != 0 ||
            reader_.u16(end + 8) != entryCount) {
            return "the archive spans several disks";
        }
        if (entryCount == 0xffff || directorySize == 0xffffffff || directoryOffset == 0xffffffff) {
            return "the archive uses ZIP64 records";
        }
        if (std::uint64_t{directoryOffset} + directorySize != end) {
            return "the central directory does not end where the end record begins";
        }
        std::size_t position = directoryOffset;
        for (std::uint32_t index = 0; index < entryCount; ++index) {
            CentralEntry entry;
            if (auto problem = readCentralEntry(position, end, entry); !problem.empty()) {
                return "central directory entry " + std::to_string(index) + ": " + problem;
            }
            if (auto problem = checkEntryData(entry, directoryOffset); !problem.empty()) {
                return "entry \"" + entry.info.name + "\": " + problem;
            }
            entries.push_back(entry.info);
        }
        if (position != end) {
            return "the central directory holds more than its recorded entries";
        }
        return {};
    }

    std::string readCentralEntry(std::size_t& position, std::size_t end, CentralEntry& entry) {
        if (!reader_.fits(position, centralHeaderSize, end) ||
            reader_.u32(position) != centralHeaderSignature) {
            return "no central directory header where one is expected";
        }
        const std::size_t nameLength = reader_.u16(position + 28);
        const std::size_t variableLength =
            nameLength + reader_.u16(position + 30) + reader_.u16(position + 32);
        if (!reader_.fits(position + centralHeaderSize, variableLength, end)) {
            return "the header runs past the central directory";
        }
        entry.flags = static_cast<std::uint16_t>(reader_.u16(position + 8));
        entry.info.method = static_cast<int>(reader_.u16(position + 10));
        entry.info.crc32 = reader_.u32(position + 16);
        entry.info.compressedSize = reader_.u32(position + 20);
        entry.info.size = reader_.u32(position + 24);
        entry.localOffset = reader_.u32(position + 42);
        entry.info.name = std::string(reader_.slice(position + centralHeaderSize, nameLength));
        position += centralHeaderSize + variableLength;
        return {};
    }

    std::string checkEntryData(const CentralEntry& entry, std::size_t directoryOffset) {
        const std::size_t local = entry.localOffset;
        if (!reader_.fits(local, localHeaderSize, directoryOffset) ||
            reader_.u32(local) != localHeaderSignature) {
            return "no local header at its recorded offset";
        }
        if ((entry.flags & encryptedFlag) != 0) {
            return "it is encrypted";
        }
        const std::size_t nameLength = reader_.u16(local + 26);
        const std::size_t dataStart =
            local + localHeaderSize + nameLength + reader_.u16(local + 28);
        if (!reader_.fits(local + localHeaderSize, nameLength, directoryOffset) ||
            reader_.slice(local + localHeaderSize, nameLength) != entry.info.name) {
            return "its local header names another entry";
        }
        if (static_cast<int>(reader_.u16(local + 8)) != entry.info.method ||
            reader_.u16(local + 6) != entry.flags) {
            return "its local header's method or flags differ from the central directory's";
        }
        const bool descriptor = (entry.flags & dataDescriptorFlag) != 0;
        if (!descriptor && (reader_.u32(local + 14) != entry.info.crc32 ||
                            reader_.u32(local + 18) != entry.info.compressedSize ||
                            reader_.u32(local + 22) != entry.info.size)) {
            return "its local header's CRC-32 or sizes differ from the central directory's";
        }
        if (!reader_.fits(dataStart, entry.info.compressedSize, directoryOffset)) {
            return "its data runs past the start of the central directory";
        }
        const auto data = reader_.slice(dataStart, entry.info.compressedSize);
        std::string problem;
        std::optional<std::uint32_t> crc;
        if (entry.info.method == 0) {
            crc = crcOf(data);
            if (entry.info.compressedSize != entry.info.size) {
                problem = "it is stored with a compressed size unlike its size";
            }
        } else if (entry.info.method == 8) {
            crc = inflateAndCrc(data, entry.info.size, problem);
        } else {
            problem = "its compression method " + std::to_string(entry.info.method) +
                      " is neither stored (0) nor deflate (8)";
        }
        if (problem.empty() && crc != entry.info.crc32) {
            problem = "its data does not match its CRC-32";
        }
        if (problem.empty() && descriptor) {
            problem = checkDataDescriptor(entry, dataStart + data.size(), directoryOffset);
        }
        return problem;
    }

    std::string checkDataDescriptor(const CentralEntry& entry, std::size_t offset,
                                    std::size_t directoryOffset) {
        if (reader_.u32(offset) == dataDescriptorSignature) {
            offset += 4;
        }
        if (!reader_.fits(offset, 12, directoryOffset) || reader_.u32(offset) != entry.info.crc32 ||
            reader_.u32(offset + 4) != entry.info.compressedSize ||
            reader_.u32(offset + 8) != entry.info.size) {
            return "its data descriptor differs from the central directory";
        }
        return {};
    }

    std::string_view bytes_;
    Reader reader_;
};

}  // namespace

ZipCheckResult checkZipArchive(std::string_view bytes) {
    return ArchiveChecker(bytes).run();
}

}  // namespace orvanpush::server
