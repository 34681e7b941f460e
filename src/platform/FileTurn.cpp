#include "platform/FileTurn.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "orvanpush/TextError.h"

namespace orvanpush::platform {
namespace {

[[noreturn]] void refuse(const std::filesystem::path& lockFile, const std::string& reason) {
    throw TextError("Cannot use lock file " + lockFile.string() + ": " + reason);
}

}  // namespace

std::unique_ptr<FileTurn> FileTurn::tryTake(const std::filesystem::path& lockFile) {
    FileDescriptor lock(
        ::open(lockFile.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    struct stat status {};
    if (!lock.valid() || ::fstat(lock.get(), &status) != 0) {
        refuse(lockFile, std::strerror(errno));
    }
    if (!S_ISREG(status.st_mode)) {
        refuse(lockFile, "not a regular file");
    }
    if ((status.st_mode & 0077) != 0 && ::fchmod(lock.get(), 0600) != 0) {
        refuse(lockFile, std::strerror(errno));
    }
    while (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
            return nullptr;
        }
        if (errno != EINTR) {
            refuse(lockFile, std::strerror(errno));
        }
    }
    return std::unique_ptr<FileTurn>(new FileTurn(std::move(lock)));
}

}  // namespace orvanpush::platform
