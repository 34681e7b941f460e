#pragma once

// What the file system says about an item itself, without following a symbolic link at the
// end of its path (lstat).

#include <cstdint>
#include <filesystem>
#include <optional>

#include "orvanpush/Types.h"

namespace orvanpush::platform {

struct ItemStatus {
    enum class Type { regular, directory, symbolicLink, other };

    Type type = Type::other;
    std::uint32_t mode = 0;    ///< the full mode word: type bits and permissions
    std::uint64_t size = 0;    ///< bytes; for a symbolic link, the length of its target
    Date modificationDate;     ///< to the nanosecond
    std::uint64_t device = 0;  ///< with `inode`, tells whether two paths name one item
    std::uint64_t inode = 0;

    bool sameItem(const ItemStatus& other) const {
        return device == other.device && inode == other.inode;
    }
};

/// The status of the item at `path` itself; nothing when it does not exist or cannot be
/// examined.
std::optional<ItemStatus> linkStatus(const std::filesystem::path& path);

/// True when this process may read the item at `path`.
bool isReadable(const std::filesystem::path& path);

}  // namespace orvanpush::platform
