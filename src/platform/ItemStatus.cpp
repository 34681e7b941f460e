#include "platform/ItemStatus.h"

#include <sys/stat.h>
#include <unistd.h>

namespace orvanpush::platform {
namespace {

ItemStatus::Type typeOf(mode_t mode) {
    if (S_ISREG(mode)) {
        return ItemStatus::Type::regular;
    }
    if (S_ISDIR(mode)) {
        return ItemStatus::Type::directory;
    }
    if (S_ISLNK(mode)) {
        return ItemStatus::Type::symbolicLink;
    }
    return ItemStatus::Type::other;
}

}  // namespace

std::optional<ItemStatus> linkStatus(const std::filesystem::path& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        return std::nullopt;
    }
    const auto sinceEpoch = std::chrono::seconds(status.st_mtim.tv_sec) +
                            std::chrono::nanoseconds(status.st_mtim.tv_nsec);
    return ItemStatus{
        .type = typeOf(status.st_mode),
        .mode = status.st_mode,
        .size = static_cast<std::uint64_t>(status.st_size),
        .modificationDate = Date(std::chrono::duration_cast<Date::duration>(sinceEpoch)),
        .device = status.st_dev,
        .inode = status.st_ino,
    };
}

bool isReadable(const std::filesystem::path& path) {
    return ::access(path.c_str(), R_OK) == 0;
}

}  // namespace orvanpush::platform
