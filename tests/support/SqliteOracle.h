#pragma once

// Independent looks at the library's SQLite files: the sqlite3 command (another process, so
// never the connection that wrote), and the file locks the kernel lists in /proc/locks.
//
//   EXPECT_EQ(sqliteOutput(file, "PRAGMA integrity_check"), "ok\n");
//   EXPECT_TRUE(holdsPosixLock(file, ::getpid()));

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace orvanpush::testing {

/// What a shell command prints on standard output.
inline std::string commandOutput(const std::string& command) {
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        while (auto read = std::fread(buffer, 1, sizeof buffer, pipe)) {
            output.append(buffer, read);
        }
        ::pclose(pipe);
    }
    return output;
}

/// `text` as one word for the shell.
inline std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

/// What the sqlite3 command prints for `sql` on `file`, its errors included.
inline std::string sqliteOutput(const std::filesystem::path& file, const std::string& sql) {
    return commandOutput("sqlite3 " + shellQuoted(file.string()) + " " + shellQuoted(sql) +
                         " 2>&1");
}

/// True when the process `pid` holds a POSIX (fcntl) lock on `file`, as /proc/locks lists it:
/// "1: POSIX  ADVISORY  READ 1234 08:01:5678 1073741826 1073742335".
inline bool holdsPosixLock(const std::filesystem::path& file, pid_t pid) {
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0) {
        return false;
    }
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, owner, device;
        fields >> number >> kind >> mode >> access >> owner >> device;
        // A waiter's line ("1: -> POSIX ...") has its fields shifted by one and never matches.
        if (kind == "POSIX" && owner == std::to_string(pid) &&
            device.ends_with(":" + std::to_string(status.st_ino))) {
            return true;
        }
    }
    return false;
}

}  // namespace orvanpush::testing
