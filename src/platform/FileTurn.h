#pragma once

// A turn among the threads and processes that use one lock file: whoever holds the object holds
// the turn, and letting it go (or the process ending, however it ends) gives the turn back.
//
//   if (auto turn = FileTurn::tryTake(Home::turnFile("myInstance"))) { ... }  // else: busy
//
// The turn is an exclusive flock on a descriptor of its own, so two holders in one process
// exclude each other as holders in two processes do. The lock file is never a database file:
// closing a descriptor of a file SQLite has open would drop SQLite's locks.

#include <filesystem>
#include <memory>

#include "platform/FileDescriptor.h"

namespace orvanpush::platform {

class FileTurn {
  public:
    /// The turn on `lockFile` (a regular file, created 0600 when missing) when nobody holds
    /// it; null when somebody does. Throws `TextError` naming the file when it cannot be used.
    static std::unique_ptr<FileTurn> tryTake(const std::filesystem::path& lockFile);

    FileTurn(const FileTurn&) = delete;
    FileTurn& operator=(const FileTurn&) = delete;

  private:
    explicit FileTurn(FileDescriptor lock) : lock_(std::move(lock)) {}

    FileDescriptor lock_;  // closing it gives the turn back
};

}  // namespace orvanpush::platform
