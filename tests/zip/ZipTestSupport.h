#pragma once

// What the ZIP tests share: independent oracles (unzip, Python's zipfile), files and
// deterministic content.

#include <cstdint>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "orvanpush/Types.h"
#include "orvanpush/zip/Archive.h"

namespace orvanpush::zip::testing {

/// True when `unzip -t` finds no error (it checks every local header and its data's CRC).
bool unzipAccepts(const std::filesystem::path& archive);

/// The archive as Python's zipfile and struct see it: "testzip" (null when
/// every entry's data matches its central checksum), "end", and "entries", each with "name",
/// "dateTime", "contentCrc", "contentSize", "central" and "local" header fields.
Json inspect(const std::filesystem::path& archive);

/// Checks the archive with both oracles (`unzip -t`, zipfile's testzip, every local header
/// equal to its central copy) and gives `inspect`'s description of it.
Json checked(const std::filesystem::path& archive);

/// Runs a Python snippet with `argument` as sys.argv[1]; fails the test on a non-zero exit.
std::string python(const std::string& code, const std::filesystem::path& argument = {});

/// Writes the archive `path` with zipfile, opened with `mode`: `body` fills the ZipFile `z`.
void pythonZip(const std::filesystem::path& path, const std::string& body,
               const std::string& mode = "'w'");

Bytes readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const Bytes& bytes);
void writeFile(const std::filesystem::path& path, const std::string& text);

/// Deterministic bytes that deflate cannot shrink.
Bytes randomBytes(std::size_t count, std::uint32_t seed = 1);
/// Deterministic lines of a log, as the library writes them.
Bytes logText(std::size_t count);

/// Hands out `data` (which must outlive the provider) as the entry's contents.
Provider providerOf(const Bytes& data);

/// Adds `data` as the file entry `path`, with a 16 KiB buffer.
void addBytes(Archive& archive, const std::string& path, const Bytes& data,
              CompressionMethod method = CompressionMethod::none,
              const std::shared_ptr<Progress>& progress = nullptr, Date date = Date());

/// Runs `body`, which must throw an `Error` (ArchiveError, DataError, FileError) of `kind`;
/// gives the error's text.
template <typename Error, typename Body>
std::string expectError(typename Error::Kind kind, Body&& body) {
    try {
        body();
        ADD_FAILURE() << "no error";
    } catch (const Error& error) {
        EXPECT_EQ(error.kind(), kind) << error.what();
        return error.what();
    }
    return {};
}

/// `time` as a date, for modification times.
Date dateOf(int year, unsigned month, unsigned day, int hour = 0, int minute = 0, int second = 0);

}  // namespace orvanpush::zip::testing
