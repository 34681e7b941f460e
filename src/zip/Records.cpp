#include "zip/Records.h"

namespace orvanpush::zip::detail {

ByteWriter& ByteWriter::u16(std::uint16_t value) {
    bytes_.push_back(static_cast<std::uint8_t>(value));
    bytes_.push_back(static_cast<std::uint8_t>(value >> 8));
    return *this;
}

ByteWriter& ByteWriter::u32(std::uint32_t value) {
    return u16(static_cast<std::uint16_t>(value)).u16(static_cast<std::uint16_t>(value >> 16));
}

ByteWriter& ByteWriter::bytes(const Bytes& value) {
    bytes_.insert(bytes_.end(), value.begin(), value.end());
    return *this;
}

std::uint16_t ByteReader::u16() {
    const auto value = static_cast<std::uint16_t>(bytes_[at_] | bytes_[at_ + 1] << 8);
    at_ += 2;
    return value;
}

std::uint32_t ByteReader::u32() {
    const std::uint32_t low = u16();
    return low | std::uint32_t{u16()} << 16;
}

Bytes encode(const LocalFileHeader& header) {
    return ByteWriter()
        .u32(LocalFileHeader::signature)
        .u16(header.versionNeededToExtract)
        .u16(header.generalPurposeBitFlag)
        .u16(header.compressionMethod)
        .u16(header.lastModFileTime)
        .u16(header.lastModFileDate)
        .u32(header.crc32)
        .u32(header.compressedSize)
        .u32(header.uncompressedSize)
        .u16(static_cast<std::uint16_t>(header.fileNameData.size()))
        .u16(static_cast<std::uint16_t>(header.extraFieldData.size()))
        .bytes(header.fileNameData)
        .bytes(header.extraFieldData)
        .take();
}

Bytes encode(const CentralDirectoryStructure& header) {
    return ByteWriter()
        .u32(CentralDirectoryStructure::signature)
        .u16(header.versionMadeBy)
        .u16(header.versionNeededToExtract)
        .u16(header.generalPurposeBitFlag)
        .u16(header.compressionMethod)
        .u16(header.lastModFileTime)
        .u16(header.lastModFileDate)
        .u32(header.crc32)
        .u32(header.compressedSize)
        .u32(header.uncompressedSize)
        .u16(static_cast<std::uint16_t>(header.fileNameData.size()))
        .u16(static_cast<std::uint16_t>(header.extraFieldData.size()))
        .u16(static_cast<std::uint16_t>(header.fileCommentData.size()))
        .u16(header.diskNumberStart)
        .u16(header.internalFileAttributes)
        .u32(header.externalFileAttributes)
        .u32(header.relativeOffsetOfLocalHeader)
        .bytes(header.fileNameData)
        .bytes(header.extraFieldData)
        .bytes(header.fileCommentData)
        .take();
}

Bytes encode(const EndOfCentralDirectoryRecord& record) {
    return ByteWriter()
        .u32(EndOfCentralDirectoryRecord::signature)
        .u16(record.numberOfDisk)
        .u16(record.numberOfDiskStart)
        .u16(record.totalNumberOfEntriesOnDisk)
        .u16(record.totalNumberOfEntriesInCentralDirectory)
        .u32(record.sizeOfCentralDirectory)
        .u32(record.offsetToStartOfCentralDirectory)
        .u16(static_cast<std::uint16_t>(record.zipFileCommentData.size()))
        .bytes(record.zipFileCommentData)
        .take();
}

LocalFileHeader decodeLocalFileHeader(std::span<const std::uint8_t> fixed) {
    ByteReader reader(fixed.subspan(4));
    LocalFileHeader header;
    header.versionNeededToExtract = reader.u16();
    header.generalPurposeBitFlag = reader.u16();
    header.compressionMethod = reader.u16();
    header.lastModFileTime = reader.u16();
    header.lastModFileDate = reader.u16();
    header.crc32 = reader.u32();
    header.compressedSize = reader.u32();
    header.uncompressedSize = reader.u32();
    header.fileNameData.resize(reader.u16());
    header.extraFieldData.resize(reader.u16());
    return header;
}

CentralDirectoryStructure decodeCentralDirectoryStructure(std::span<const std::uint8_t> fixed) {
    ByteReader reader(fixed.subspan(4));
    CentralDirectoryStructure header;
    header.versionMadeBy = reader.u16();
    header.versionNeededToExtract = reader.u16();
    header.generalPurposeBitFlag = reader.u16();
    header.compressionMethod = reader.u16();
    header.lastModFileTime = reader.u16();
    header.lastModFileDate = reader.u16();
    header.crc32 = reader.u32();
    header.compressedSize = reader.u32();
    header.uncompressedSize = reader.u32();
    header.fileNameData.resize(reader.u16());
    header.extraFieldData.resize(reader.u16());
    header.fileCommentData.resize(reader.u16());
    header.diskNumberStart = reader.u16();
    header.internalFileAttributes = reader.u16();
    header.externalFileAttributes = reader.u32();
    header.relativeOffsetOfLocalHeader = reader.u32();
    return header;
}

EndOfCentralDirectoryRecord decodeEndOfCentralDirectoryRecord(std::span<const std::uint8_t> fixed) {
    ByteReader reader(fixed.subspan(4));
    EndOfCentralDirectoryRecord record;
    record.numberOfDisk = reader.u16();
    record.numberOfDiskStart = reader.u16();
    record.totalNumberOfEntriesOnDisk = reader.u16();
    record.totalNumberOfEntriesInCentralDirectory = reader.u16();
    record.sizeOfCentralDirectory = reader.u32();
    record.offsetToStartOfCentralDirectory = reader.u32();
    record.zipFileCommentData.resize(reader.u16());
    return record;
}

}  // namespace orvanpush::zip::detail
