#include "platform/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace orvanpush::platform {

AppendFile::AppendFile(std::filesystem::path path, FileDescriptor descriptor)
    : path_(std::move(path)), descriptor_(std::move(descriptor)) {}

std::optional<AppendFile> AppendFile::open(const std::filesystem::path& path) {
    FileDescriptor descriptor(
        ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600));
    if (!descriptor.valid()) {
        return std::nullopt;
    }
    return AppendFile(path, std::move(descriptor));
}

void AppendFile::write(std::string_view bytes) {
    // A regular file takes the whole of one write at its end at once; only a full disk or a
    // signal leaves a rest, which follows in another call.
    while (!bytes.empty()) {
        const ssize_t written = ::write(descriptor_.get(), bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

bool FileSystem::exists(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

FileResult FileSystem::createDirectories(const std::filesystem::path& path) {
    std::filesystem::path current;
    for (const auto& part : path) {
        current /= part;
        if (::mkdir(current.c_str(), 0700) != 0 && errno != EEXIST) {
            return {std::string(std::strerror(errno))};
        }
    }
    return {};
}

FileResult FileSystem::createPrivateDirectory(const std::filesystem::path& path) {
    if (::mkdir(path.c_str(), 0700) == 0) {
        return {};
    }
    if (errno != EEXIST) {
        return {std::string(std::strerror(errno))};
    }
    struct stat status {};
    if (::lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode)) {
        return {};
    }
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor < 0) {
        return {std::string(std::strerror(errno))};
    }
    const bool narrowed = ::fstat(descriptor, &status) == 0 &&
                          ((status.st_mode & 0077) == 0 || ::fchmod(descriptor, 0700) == 0);
    const int savedErrno = errno;
    ::close(descriptor);
    return narrowed ? FileResult{} : FileResult{std::string(std::strerror(savedErrno))};
}

FileResult FileSystem::listDirectory(const std::filesystem::path& directory,
                                     std::vector<std::string>& names) {
    names.clear();
    std::error_code error;
    // Range-for would increment with the throwing operator++; a read error may come at any
    // entry, not only when the directory is opened.
    std::filesystem::directory_iterator entry(directory, error);
    for (; !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
        names.push_back(entry->path().filename().string());
    }
    if (error) {
        names.clear();
        return {error.message()};
    }
    return {};
}

FileResult FileSystem::removeItem(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::remove_all(path, error);
    if (error) {
        return {error.message()};
    }
    return {};
}

FileResult FileSystem::moveItem(const std::filesystem::path& from,
                                const std::filesystem::path& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) {
        return {std::string(std::strerror(errno))};
    }
    return {};
}

std::optional<std::string> FileSystem::readFile(const std::filesystem::path& path) {
    // Non-blocking, so that a FIFO is refused below instead of waiting for a writer.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        return std::nullopt;
    }
    std::optional<std::string> contents;
    struct stat status {};
    if (::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode)) {
        contents.emplace();
        contents->reserve(static_cast<std::size_t>(status.st_size));
        char buffer[65536];
        ssize_t count = 0;
        while ((count = ::read(descriptor, buffer, sizeof buffer)) != 0) {
            if (count < 0 && errno == EINTR) {
                continue;
            }
            if (count < 0) {
                contents.reset();
                break;
            }
            contents->append(buffer, static_cast<std::size_t>(count));
        }
    }
    ::close(descriptor);
    return contents;
}

}  // namespace orvanpush::platform
