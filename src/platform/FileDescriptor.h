#pragma once

// Owns a file descriptor (a socket, an eventfd, an inotify instance) and closes it once.

#include <unistd.h>

#include <utility>

namespace orvanpush::platform {

class FileDescriptor {
  public:
    /// Takes `descriptor`; a negative one (a failed open) owns nothing.
    explicit FileDescriptor(int descriptor = -1) : descriptor_(descriptor) {}
    ~FileDescriptor() {
        if (descriptor_ >= 0) {
            ::close(descriptor_);
        }
    }
    FileDescriptor(FileDescriptor&& other) noexcept
        : descriptor_(std::exchange(other.descriptor_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        std::swap(descriptor_, other.descriptor_);
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return descriptor_; }
    bool valid() const { return descriptor_ >= 0; }

  private:
    int descriptor_;
};

}  // namespace orvanpush::platform
