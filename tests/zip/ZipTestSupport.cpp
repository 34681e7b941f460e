#include "zip/ZipTestSupport.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <random>

#include <gtest/gtest.h>

#include "support/SqliteOracle.h"

namespace orvanpush::zip::testing {
namespace {

using orvanpush::testing::commandOutput;
using orvanpush::testing::shellQuoted;

// Every test of this program runs in a zone far from UTC (+13:45, whatever tzdata holds), so a
// date broken down in local time instead of UTC shows.
const bool kFarFromUtc = [] {
    ::setenv("TZ", "XXX-13:45", 1);
    ::tzset();
    return true;
}();

// Describes a ZIP archive as one JSON object, read with Python's zipfile and struct alone:
// every entry's central directory and local header fields, zipfile's view of it (name, date,
// content checksum), testzip()'s verdict and the end record.
const char* const kOracle = R"PY(
import json, struct, sys, zipfile, zlib

HEADER = ("versionNeededToExtract", "generalPurposeBitFlag", "compressionMethod",
          "lastModFileTime", "lastModFileDate", "crc32", "compressedSize", "uncompressedSize",
          "fileNameLength", "extraFieldLength")
CENTRAL = ("<IHHHHHHIIIHHHHHII", ("signature", "versionMadeBy") + HEADER + (
    "fileCommentLength", "diskNumberStart", "internalFileAttributes", "externalFileAttributes",
    "relativeOffsetOfLocalHeader"))
LOCAL = ("<IHHHHHIIIHH", ("signature",) + HEADER)
END = ("<IHHHHIIH", ("signature", "numberOfDisk", "numberOfDiskStart", "totalNumberOfEntriesOnDisk",
                     "totalNumberOfEntriesInCentralDirectory", "sizeOfCentralDirectory",
                     "offsetToStartOfCentralDirectory", "zipFileCommentLength"))


def record(data, offset, layout):
    """The fields of the record at offset, its name (hex) and where its variable part ends."""
    fields = dict(zip(layout[1], struct.unpack_from(layout[0], data, offset)))
    start = offset + struct.calcsize(layout[0])
    name_end = start + fields.get("fileNameLength", 0)
    fields["fileName"] = data[start:name_end].hex()
    return fields, name_end + fields.get("extraFieldLength", 0) + fields.get("fileCommentLength", 0)


with open(sys.argv[1], "rb") as file:
    data = file.read()
end, _ = record(data, data.rfind(b"PK\x05\x06"), END)
end.update(offset=data.rfind(b"PK\x05\x06"), fileSize=len(data))
del end["signature"], end["fileName"]
centrals, offset = [], end["offsetToStartOfCentralDirectory"]
for _ in range(end["totalNumberOfEntriesInCentralDirectory"]):
    central, offset = record(data, offset, CENTRAL)
    centrals.append(central)
end["centralDirectoryEnd"] = offset
with zipfile.ZipFile(sys.argv[1]) as archive:
    entries = []
    for info, central in zip(archive.infolist(), centrals):
        content = archive.read(info)
        local, _ = record(data, central["relativeOffsetOfLocalHeader"], LOCAL)
        entries.append(dict(name=info.filename, dateTime=list(info.date_time), isDir=info.is_dir(),
                            contentCrc=zlib.crc32(content), contentSize=len(content),
                            central=central, local=local))
    json.dump(dict(testzip=archive.testzip(), comment=archive.comment.hex(), end=end,
                   entries=entries), sys.stdout)
)PY";

}  // namespace

bool unzipAccepts(const std::filesystem::path& archive) {
    const auto output = commandOutput("unzip -t " + shellQuoted(archive.string()) + " 2>&1");
    EXPECT_NE(output.find("No errors detected"), std::string::npos) << output;
    return output.find("No errors detected") != std::string::npos;
}

Json inspect(const std::filesystem::path& archive) {
    return Json::parse(python(kOracle, archive), nullptr, false);
}

Json checked(const std::filesystem::path& archive) {
    EXPECT_TRUE(unzipAccepts(archive));
    Json info = inspect(archive);
    EXPECT_TRUE(info["testzip"].is_null());
    for (const auto& entry : info["entries"]) {
        for (const auto& [field, value] : entry["local"].items()) {
            EXPECT_TRUE(field == "signature" || value == entry["central"][field])
                << entry["name"] << " " << field;
        }
    }
    return info;
}

std::string python(const std::string& code, const std::filesystem::path& argument) {
    const auto output = commandOutput("python3 -c " + shellQuoted(code) + " " +
                                      shellQuoted(argument.string()) + " 2>&1 || echo exit $?");
    EXPECT_EQ(output.find("exit "), std::string::npos) << output;
    return output;
}

void pythonZip(const std::filesystem::path& path, const std::string& body,
               const std::string& mode) {
    python("import sys, zipfile\nwith zipfile.ZipFile(sys.argv[1], " + mode + ") as z:\n" + body,
           path);
}

Bytes readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

void writeFile(const std::filesystem::path& path, const std::string& text) {
    writeFile(path, Bytes(text.begin(), text.end()));
}

Bytes randomBytes(std::size_t count, std::uint32_t seed) {
    std::mt19937 generator(seed);
    Bytes bytes(count);
    std::generate(bytes.begin(), bytes.end(), [&] { return std::uint8_t(generator()); });
    return bytes;
}

Bytes logText(std::size_t count) {
    const std::string lines =
        "2024-03-01 12:00:00.123 [INFO] sdk: Message received: id 42\n"
        "2024-03-01 12:00:00.456 [TRACE] storage: saveMessage(message:) started\n"
        "2024-03-01 12:00:01.789 [ERROR] sdk: Status report failed: code 600\n";
    Bytes bytes;
    while (bytes.size() < count) {
        bytes.insert(bytes.end(), lines.begin(), lines.end());
    }
    bytes.resize(count);
    return bytes;
}

Provider providerOf(const Bytes& data) {
    return [&data](std::uint64_t position, std::size_t length) {
        const auto start = data.begin() + static_cast<std::ptrdiff_t>(position);
        return Bytes(start, start + static_cast<std::ptrdiff_t>(length));
    };
}

void addBytes(Archive& archive, const std::string& path, const Bytes& data,
              CompressionMethod method, const std::shared_ptr<Progress>& progress, Date date) {
    archive.addEntry(path, Entry::EntryType::file, data.size(), date, std::nullopt, method, 16384,
                     progress, providerOf(data));
}

Date dateOf(int year, unsigned month, unsigned day, int hour, int minute, int second) {
    using namespace std::chrono;
    const sys_days days{std::chrono::year(year) / std::chrono::month(month) /
                        std::chrono::day(day)};
    return time_point_cast<Date::duration>(days + hours(hour) + minutes(minute) + seconds(second));
}

}  // namespace orvanpush::zip::testing
