#include "zip/ZipTestSupport.h"

#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <random>

#include <gtest/gtest.h>

namespace orvanpush::zip::testing {
namespace {

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
import json
import struct
import sys
import zipfile
import zlib

HEADER_FIELDS = ("versionNeededToExtract", "generalPurposeBitFlag", "compressionMethod",
                 "lastModFileTime", "lastModFileDate", "crc32", "compressedSize",
                 "uncompressedSize", "fileNameLength", "extraFieldLength")


def central_headers(data, offset, count):
    headers = []
    for _ in range(count):
        values = struct.unpack_from("<IHHHHHHIIIHHHHHII", data, offset)
        signature, made_by = values[0], values[1]
        fields = dict(zip(HEADER_FIELDS, values[2:12]))
        comment_length, disk, internal, external, local_offset = values[12:17]
        fields.update(signature=signature, versionMadeBy=made_by, fileCommentLength=comment_length,
                      diskNumberStart=disk, internalFileAttributes=internal,
                      externalFileAttributes=external, relativeOffsetOfLocalHeader=local_offset)
        name_start = offset + 46
        fields["fileName"] = data[name_start:name_start + fields["fileNameLength"]].hex()
        headers.append(fields)
        offset = name_start + fields["fileNameLength"] + fields["extraFieldLength"] + comment_length
    return headers, offset


def local_header(data, offset):
    values = struct.unpack_from("<IHHHHHIIIHH", data, offset)
    fields = dict(zip(HEADER_FIELDS, values[1:]))
    fields["signature"] = values[0]
    name_start = offset + 30
    fields["fileName"] = data[name_start:name_start + fields["fileNameLength"]].hex()
    return fields


def main(path):
    with open(path, "rb") as file:
        data = file.read()
    end_at = data.rfind(b"PK\x05\x06")
    values = struct.unpack_from("<IHHHHIIH", data, end_at)
    end = dict(offset=end_at, numberOfDisk=values[1], numberOfDiskStart=values[2],
               totalNumberOfEntriesOnDisk=values[3], totalNumberOfEntriesInCentralDirectory=values[4],
               sizeOfCentralDirectory=values[5], offsetToStartOfCentralDirectory=values[6],
               zipFileCommentLength=values[7], fileSize=len(data))
    centrals, directory_end = central_headers(data, values[6], values[4])
    end["centralDirectoryEnd"] = directory_end
    with zipfile.ZipFile(path) as archive:
        infos = archive.infolist()
        entries = []
        for info, central in zip(infos, centrals):
            content = archive.read(info)
            entries.append(dict(name=info.filename, dateTime=list(info.date_time),
                                isDir=info.is_dir(), contentCrc=zlib.crc32(content),
                                contentSize=len(content), central=central,
                                local=local_header(data, central["relativeOffsetOfLocalHeader"])))
        result = dict(testzip=archive.testzip(), comment=archive.comment.hex(), end=end,
                      entries=entries)
    json.dump(result, sys.stdout)


if __name__ == "__main__":
    main(sys.argv[1])
)PY";

}  // namespace

CommandResult run(const std::string& command) {
    CommandResult result;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> pipe(::popen((command + " 2>&1").c_str(), "r"),
                                                         ::pclose);
    if (!pipe) {
        return result;
    }
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0) {
        result.output.append(buffer, got);
    }
    const int status = ::pclose(pipe.release());
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string shellQuoted(const std::filesystem::path& path) {
    std::string text = "'";
    for (char c : path.string()) {
        text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return text + "'";
}

bool unzipAccepts(const std::filesystem::path& archive) {
    const auto result = run("unzip -t " + shellQuoted(archive));
    EXPECT_EQ(result.exitCode, 0) << result.output;
    return result.exitCode == 0 && result.output.find("No errors detected") != std::string::npos;
}

Json inspect(const std::filesystem::path& archive) {
    const auto result = run("python3 -c " + shellQuoted(kOracle) + " " + shellQuoted(archive));
    if (result.exitCode != 0) {
        ADD_FAILURE() << "zipfile refused the archive: " << result.output;
        return Json::object();
    }
    return Json::parse(result.output);
}

std::string zipinfoField(const std::filesystem::path& archive, const std::string& label) {
    const auto result = run("zipinfo -v " + shellQuoted(archive));
    const auto at = result.output.find("  " + label + ":");
    if (at == std::string::npos) {
        ADD_FAILURE() << "zipinfo printed no \"" << label << "\": " << result.output;
        return {};
    }
    const auto start = result.output.find_first_not_of(' ', at + label.size() + 3);
    return result.output.substr(start, result.output.find('\n', start) - start);
}

std::string python(const std::string& code, const std::filesystem::path& argument) {
    const auto result = run("python3 -c " + shellQuoted(code) + " " + shellQuoted(argument));
    EXPECT_EQ(result.exitCode, 0) << result.output;
    return result.output;
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
    for (auto& byte : bytes) {
        byte = static_cast<std::uint8_t>(generator());
    }
    return bytes;
}

Bytes logText(std::size_t count) {
    static const std::string kLines[] = {
        "2024-03-01 12:00:00.123 [INFO] sdk: Message received: id 42\n",
        "2024-03-01 12:00:00.456 [TRACE] storage: saveMessage(message:) started\n",
        "2024-03-01 12:00:01.789 [ERROR] sdk: Status report failed: code 600\n",
    };
    Bytes bytes;
    bytes.reserve(count);
    for (std::size_t line = 0; bytes.size() < count; ++line) {
        const std::string& text = kLines[line % 3];
        bytes.insert(bytes.end(), text.begin(), text.end());
    }
    bytes.resize(count);
    return bytes;
}

Date dateOf(int year, unsigned month, unsigned day, int hour, int minute, int second) {
    using namespace std::chrono;
    const sys_days days{std::chrono::year(year) / std::chrono::month(month) /
                        std::chrono::day(day)};
    return time_point_cast<Date::duration>(days + hours(hour) + minutes(minute) + seconds(second));
}

}  // namespace orvanpush::zip::testing
