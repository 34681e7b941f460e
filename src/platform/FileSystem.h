#pragma once

// Files and directories as the library needs them: private files opened for appending,
// directory listings and removals that report failures as text instead of throwing.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileDescriptor.h"

namespace orvanpush::platform {

/// A file open for appending (created 0600 when missing), closed when the object goes.
class AppendFile {
  public:
    /// Opens `path` for appending; nothing when it cannot be opened (missing directory, ...).
    /// Never creates directories.
    static std::optional<AppendFile> open(const std::filesystem::path& path);

    /// Appends the bytes at the file's end in one system call, so what processes append to the
    /// same file at once lands whole, never interleaved; errors are ignored.
    void write(std::string_view bytes);

    const std::filesystem::path& path() const { return path_; }

  private:
    AppendFile(std::filesystem::path path, FileDescriptor descriptor);

    std::filesystem::path path_;
    FileDescriptor descriptor_;
};

/// The outcome of a file-system operation: an empty error means success.
struct FileResult {
    std::string error;  ///< the system's description of the failure; empty on success
    explicit operator bool() const { return error.empty(); }
};

class FileSystem {
  public:
    static bool exists(const std::filesystem::path& path);
    /// Creates the directory and its missing parents (0700).
    static FileResult createDirectories(const std::filesystem::path& path);
    /// Creates the directory (0700; its parent must exist), or narrows an existing one that
    /// others may use to 0700. An existing symbolic link is left as it is, for the user made it.
    static FileResult createPrivateDirectory(const std::filesystem::path& path);
    /// The names of the entries of `directory`, in the order the system lists them. A failure
    /// while listing, not only at the start, is reported and leaves `names` empty.
    static FileResult listDirectory(const std::filesystem::path& directory,
                                    std::vector<std::string>& names);
    /// Removes a file, or a directory with everything below it.
    static FileResult removeItem(const std::filesystem::path& path);
    /// Renames `from` to `to` in one step, replacing a file already at `to`: a reader opens
    /// either the old file or the new one, whole.
    static FileResult moveItem(const std::filesystem::path& from, const std::filesystem::path& to);
    /// Reads a whole regular file; nothing when it cannot be read to its end, or is not a
    /// regular file (a directory, a FIFO, a device).
    static std::optional<std::string> readFile(const std::filesystem::path& path);
};

}  // namespace orvanpush::platform
