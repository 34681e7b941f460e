#pragma once

// The layout of the library's files under the configured home. Every name that becomes a path
// component is checked first. The library's own directories below the home are created 0700, or
// narrowed to 0700 when found looser; the home itself, which the user may have made, is only
// created when missing.

#include <filesystem>
#include <string>
#include <string_view>

namespace orvanpush::platform {

/// False for "", ".", "..", names containing '/' or NUL, and names longer than a file name may
/// be: such a name never becomes a path component.
bool isSafePathComponent(std::string_view name);

/// Creates `directory` and its missing parents with mode 0700; existing ones are left as they
/// are. Throws `TextError` naming the path on failure.
void createPrivateDirectories(const std::filesystem::path& directory);

class Home {
  public:
    /// The configured home directory (not created).
    static std::filesystem::path root();
    /// keychain/keychain.sqlite (the directory is created).
    static std::filesystem::path keychainFile();
    /// defaults/<suite>.sqlite (the directory is created). Throws `TextError` for an unsafe suite.
    static std::filesystem::path defaultsFile(std::string_view suite);
    /// containers/<group id>/ (created). Throws `TextError` for an unsafe group id.
    static std::filesystem::path containerDirectory(std::string_view groupId);
    /// documents/<bundle identifier>/ of this process (created). Throws `TextError` when the
    /// bundle identifier is unsafe.
    static std::filesystem::path documentsDirectory();
    /// keychain/<name>.turn (the directory is created): the lock file of a turn that changes
    /// keychain items of `name`. Throws `TextError` for an unsafe name.
    static std::filesystem::path turnFile(std::string_view name);
    /// notify/ (created): where cross-process notifications are posted.
    static std::filesystem::path notifyDirectory();
    /// notify/<name> (the directory is created). Throws `TextError` for an unsafe name.
    static std::filesystem::path notifyFile(std::string_view name);
};

}  // namespace orvanpush::platform
