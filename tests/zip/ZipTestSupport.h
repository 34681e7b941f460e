#pragma once

// What the ZIP tests share: independent oracles (unzip, zipinfo, Python's zipfile), files and
// deterministic content.

#include <cstdint>
#include <filesystem>
#include <string>

#include "orvanpush/Types.h"

namespace orvanpush::zip::testing {

struct CommandResult {
    int exitCode = -1;
    std::string output;  ///< standard output and standard error together
};

/// Runs `command` through the shell.
CommandResult run(const std::string& command);

/// The path quoted for the shell.
std::string shellQuoted(const std::filesystem::path& path);

/// True when `unzip -t` finds no error (it checks every local header and its data's CRC).
bool unzipAccepts(const std::filesystem::path& archive);

/// The archive as Python's zipfile and struct see it: "testzip" (null when
/// every entry's data matches its central checksum), "end", and "entries", each with "name",
/// "dateTime", "contentCrc", "contentSize", "central" and "local" header fields.
Json inspect(const std::filesystem::path& archive);

/// The value `zipinfo -v` prints after "<label>:" for the first entry, spaces trimmed.
std::string zipinfoField(const std::filesystem::path& archive, const std::string& label);

/// Runs a Python snippet with `argument` as sys.argv[1]; fails the test on a non-zero exit.
std::string python(const std::string& code, const std::filesystem::path& argument = {});

Bytes readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const Bytes& bytes);
void writeFile(const std::filesystem::path& path, const std::string& text);

/// Deterministic bytes that deflate cannot shrink.
Bytes randomBytes(std::size_t count, std::uint32_t seed = 1);
/// Deterministic lines of a log, as the library writes them.
Bytes logText(std::size_t count);

/// `time` as a date, for modification times.
Date dateOf(int year, unsigned month, unsigned day, int hour = 0, int minute = 0, int second = 0);

}  // namespace orvanpush::zip::testing
