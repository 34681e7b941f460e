#include "zip/Records.h"

#include <vector>

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

namespace {

// Writes fields in turn, each as wide as its type; a variable field's length goes with the fixed
// fields and its bytes follow them, in the order the lengths came.
class FieldWriter {
  public:
    explicit FieldWriter(std::uint32_t signature) { writer_.u32(signature); }

    template <typename... Fields>
    void operator()(const Fields&... fields) {
        (put(fields), ...);
    }

    Bytes take() {
        for (const Bytes* data : variable_) {
            writer_.bytes(*data);
        }
        return writer_.take();
    }

  private:
    void put(std::uint16_t value) { writer_.u16(value); }
    void put(std::uint32_t value) { writer_.u32(value); }
    void put(const Bytes& data) {
        writer_.u16(static_cast<std::uint16_t>(data.size()));
        variable_.push_back(&data);
    }

    ByteWriter writer_;
    std::vector<const Bytes*> variable_;
};

// Reads fields in turn from the fixed part after the signature, each as wide as its type; a
// variable field is sized, not filled, to its length.
class FieldReader {
  public:
    explicit FieldReader(std::span<const std::uint8_t> fixed) : reader_(fixed.subspan(4)) {}

    template <typename... Fields>
    void operator()(Fields&... fields) {
        (take(fields), ...);
    }

  private:
    void take(std::uint16_t& field) { field = reader_.u16(); }
    void take(std::uint32_t& field) { field = reader_.u32(); }
    void take(Bytes& data) { data.resize(reader_.u16()); }

    ByteReader reader_;
};

// Each record's fields in their order on disk, for a FieldWriter (over a const record) and a
// FieldReader alike. The central directory's record holds the local header's fields after its
// first.
template <typename Fields, typename Header>
void entryFields(Fields& fields, Header& header) {
    fields(header.versionNeededToExtract, header.generalPurposeBitFlag, header.compressionMethod,
           header.lastModFileTime, header.lastModFileDate, header.crc32, header.compressedSize,
           header.uncompressedSize, header.fileNameData, header.extraFieldData);
}

template <typename Fields, typename Header>
void centralDirectoryFields(Fields& fields, Header& header) {
    fields(header.versionMadeBy);
    entryFields(fields, header);
    fields(header.fileCommentData, header.diskNumberStart, header.internalFileAttributes,
           header.externalFileAttributes, header.relativeOffsetOfLocalHeader);
}

template <typename Fields, typename Record>
void endRecordFields(Fields& fields, Record& record) {
    fields(record.numberOfDisk, record.numberOfDiskStart, record.totalNumberOfEntriesOnDisk,
           record.totalNumberOfEntriesInCentralDirectory, record.sizeOfCentralDirectory,
           record.offsetToStartOfCentralDirectory, record.zipFileCommentData);
}

}  // namespace

Bytes encode(const LocalFileHeader& header) {
    FieldWriter writer(LocalFileHeader::signature);
    entryFields(writer, header);
    return writer.take();
}

Bytes encode(const CentralDirectoryStructure& header) {
    FieldWriter writer(CentralDirectoryStructure::signature);
    centralDirectoryFields(writer, header);
    return writer.take();
}

Bytes encode(const EndOfCentralDirectoryRecord& record) {
    FieldWriter writer(EndOfCentralDirectoryRecord::signature);
    endRecordFields(writer, record);
    return writer.take();
}

LocalFileHeader decodeLocalFileHeader(std::span<const std::uint8_t> fixed) {
    LocalFileHeader header;
    FieldReader reader(fixed);
    entryFields(reader, header);
    return header;
}

CentralDirectoryStructure decodeCentralDirectoryStructure(std::span<const std::uint8_t> fixed) {
    CentralDirectoryStructure header;
    FieldReader reader(fixed);
    centralDirectoryFields(reader, header);
    return header;
}

EndOfCentralDirectoryRecord decodeEndOfCentralDirectoryRecord(std::span<const std::uint8_t> fixed) {
    EndOfCentralDirectoryRecord record;
    FieldReader reader(fixed);
    endRecordFields(reader, record);
    return record;
}

}  // namespace orvanpush::zip::detail
