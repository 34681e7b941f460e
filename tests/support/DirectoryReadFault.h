#pragma once

// Test support: makes reading directory entries fail, so that a listing (or a removal, which
// lists what it removes) fails part-way, as it may on a failing disk.

namespace orvanpush::testing {

/// While the object lives, the process's reads of directory entries succeed `calls` more times
/// and then fail with EIO. Counting includes "." and "..", and the read that finds the end.
class DirectoryReadFault {
  public:
    explicit DirectoryReadFault(int calls);
    ~DirectoryReadFault();
    DirectoryReadFault(const DirectoryReadFault&) = delete;
    DirectoryReadFault& operator=(const DirectoryReadFault&) = delete;
};

}  // namespace orvanpush::testing
