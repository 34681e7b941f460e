#pragma once

// The archive's records as little-endian bytes.

#include <cstdint>
#include <span>

#include "orvanpush/Types.h"
#include "orvanpush/zip/Entry.h"

namespace orvanpush::zip::detail {

/// General-purpose flag bits: sizes and checksum follow the data; the name is UTF-8.
inline constexpr std::uint16_t kDataDescriptorFlag = 0x0008;
inline constexpr std::uint16_t kUtf8NameFlag = 0x0800;

/// Appends little-endian fields.
class ByteWriter {
  public:
    ByteWriter& u16(std::uint16_t value);
    ByteWriter& u32(std::uint32_t value);
    ByteWriter& bytes(const Bytes& value);
    Bytes take() { return std::move(bytes_); }

  private:
    Bytes bytes_;
};

/// Reads little-endian fields in order from a buffer the caller has sized.
class ByteReader {
  public:
    explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint16_t u16();
    std::uint32_t u32();

  private:
    std::span<const std::uint8_t> bytes_;
    std::size_t at_ = 0;
};

Bytes encode(const LocalFileHeader& header);
Bytes encode(const CentralDirectoryStructure& header);
Bytes encode(const EndOfCentralDirectoryRecord& record);

/// The fixed part of a record (its signature already checked by the caller), with each
/// variable field sized, not filled, to the length the record states.
LocalFileHeader decodeLocalFileHeader(std::span<const std::uint8_t> fixed);
CentralDirectoryStructure decodeCentralDirectoryStructure(std::span<const std::uint8_t> fixed);
EndOfCentralDirectoryRecord decodeEndOfCentralDirectoryRecord(std::span<const std::uint8_t> fixed);

}  // namespace orvanpush::zip::detail
