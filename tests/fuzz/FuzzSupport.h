#pragma once

// What the fuzz targets share: a check that stops the run, and a scratch directory.

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace fuzz {

/// Stops the run (the fuzzer reports a crash) when a property does not hold.
inline void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

/// A fresh directory under /tmp named after `tag`, removed when the process ends.
class TempDirectory {
  public:
    explicit TempDirectory(const std::string& tag) {
        std::string pattern = "/tmp/fuzz-" + tag + "-XXXXXX";
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace fuzz
