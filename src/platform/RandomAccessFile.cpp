#include "platform/RandomAccessFile.h"

#include <fcntl.h>
#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvanpush::platform {
namespace {

constexpr std::size_t kStreamBufferSize = 16384;

// Wraps an open descriptor in a fully buffered stream; closes the descriptor on failure.
std::FILE* streamFor(int descriptor, const char* mode) {
    std::FILE* file = ::fdopen(descriptor, mode);
    if (file == nullptr) {
        ::close(descriptor);
        return nullptr;
    }
    if (std::setvbuf(file, nullptr, _IOFBF, kStreamBufferSize) != 0) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}

}  // namespace

std::unique_ptr<BufferedFile> BufferedFile::open(const std::filesystem::path& path, Access access,
                                                 bool followLinks) {
    // Non-blocking for the open itself, so a FIFO is refused instead of waited on.
    int flags = (access == Access::read ? O_RDONLY : O_RDWR) | O_CLOEXEC | O_NONBLOCK;
    if (!followLinks) {
        flags |= O_NOFOLLOW;
    }
    const int descriptor = ::open(path.c_str(), flags);
    if (descriptor < 0) {
        return nullptr;
    }
    struct stat status {};
    const int statusFlags = ::fcntl(descriptor, F_GETFL);
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode) || statusFlags < 0 ||
        ::fcntl(descriptor, F_SETFL, statusFlags & ~O_NONBLOCK) != 0) {
        ::close(descriptor);
        return nullptr;
    }
    std::FILE* file = streamFor(descriptor, access == Access::read ? "rb" : "rb+");
    return file == nullptr ? nullptr : std::make_unique<BufferedFile>(Token{}, file);
}

std::unique_ptr<BufferedFile> BufferedFile::createExclusive(const std::filesystem::path& path,
                                                            mode_t permissions) {
    const int descriptor = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, permissions);
    if (descriptor < 0) {
        return nullptr;
    }
    // The mode given to open is narrowed by the umask; the caller asked for exactly this one.
    if (::fchmod(descriptor, permissions) != 0) {
        ::close(descriptor);
        ::unlink(path.c_str());
        return nullptr;
    }
    std::FILE* file = streamFor(descriptor, "rb+");
    if (file == nullptr) {
        ::unlink(path.c_str());
        return nullptr;
    }
    return std::make_unique<BufferedFile>(Token{}, file);
}

void BufferedFile::Closer::operator()(std::FILE* file) const {
    std::fclose(file);
}

BufferedFile::BufferedFile(Token, std::FILE* file) : file_(file) {}

BufferedFile::~BufferedFile() = default;

bool BufferedFile::switchTo(LastOperation next) {
    const bool switching = last_ != LastOperation::none && last_ != next;
    last_ = next;
    return !switching || ::fseeko(file_.get(), 0, SEEK_CUR) == 0;
}

bool BufferedFile::seek(std::uint64_t offset) {
    last_ = LastOperation::none;
    return ::fseeko(file_.get(), static_cast<off_t>(offset), SEEK_SET) == 0;
}

std::optional<std::uint64_t> BufferedFile::size() {
    if (std::fflush(file_.get()) != 0) {
        return std::nullopt;
    }
    struct stat status {};
    if (::fstat(::fileno(file_.get()), &status) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(status.st_size);
}

std::size_t BufferedFile::read(std::span<std::uint8_t> buffer) {
    if (buffer.empty() || !switchTo(LastOperation::read)) {
        return 0;
    }
    return std::fread(buffer.data(), 1, buffer.size(), file_.get());
}

bool BufferedFile::write(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) {
        return true;
    }
    if (!switchTo(LastOperation::write)) {
        return false;
    }
    return std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) == bytes.size();
}

bool BufferedFile::flush() {
    return std::fflush(file_.get()) == 0;
}

bool BufferedFile::truncate(std::uint64_t size) {
    if (std::fflush(file_.get()) != 0) {
        // What could not be written lies past `size`: forget it, or the stream would try to
        // write it again on the next seek and fail there too.
        ::__fpurge(file_.get());
    }
    std::clearerr(file_.get());
    last_ = LastOperation::none;
    // After ftruncate the stream's position may still lie past the new end; writing there
    // would leave a hole of zeros, so move it to the end.
    return ::ftruncate(::fileno(file_.get()), static_cast<off_t>(size)) == 0 &&
           ::fseeko(file_.get(), static_cast<off_t>(size), SEEK_SET) == 0;
}

}  // namespace orvanpush::platform
