#include "platform/Home.h"

#include <climits>
#include <initializer_list>

#include "orvanpush/TextError.h"
#include "orvanpush/platform/PlatformConfig.h"
#include "platform/FileSystem.h"

namespace orvanpush::platform {
namespace {

std::string checkedComponent(std::string_view name, std::string_view what) {
    if (!isSafePathComponent(name)) {
        throw TextError("Refused " + std::string(what) + " name: \"" + std::string(name) + "\"");
    }
    return std::string(name);
}

// The home, then each of the library's directories below it, kept private.
std::filesystem::path inHome(std::initializer_list<std::string_view> directories) {
    auto path = Home::root();
    createPrivateDirectories(path);
    for (auto directory : directories) {
        path /= directory;
        if (auto result = FileSystem::createPrivateDirectory(path); !result) {
            throw TextError("Cannot create directory " + path.string() + ": " + result.error);
        }
    }
    return path;
}

}  // namespace

bool isSafePathComponent(std::string_view name) {
    return !name.empty() && name.size() <= NAME_MAX && name != "." && name != ".." &&
           name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

void createPrivateDirectories(const std::filesystem::path& directory) {
    if (auto result = FileSystem::createDirectories(directory); !result) {
        throw TextError("Cannot create directory " + directory.string() + ": " + result.error);
    }
}

std::filesystem::path Home::root() {
    return PlatformConfig::current()->home;
}

std::filesystem::path Home::keychainFile() {
    return inHome({"keychain"}) / "keychain.sqlite";
}

std::filesystem::path Home::turnFile(std::string_view name) {
    checkedComponent(name, "turn");
    return inHome({"keychain"}) / checkedComponent(std::string(name) + ".turn", "turn");
}

std::filesystem::path Home::defaultsFile(std::string_view suite) {
    checkedComponent(suite, "settings suite");
    auto file = checkedComponent(std::string(suite) + ".sqlite", "settings suite");
    return inHome({"defaults"}) / file;
}

std::filesystem::path Home::containerDirectory(std::string_view groupId) {
    auto name = checkedComponent(groupId, "application group");
    return inHome({"containers", name});
}

std::filesystem::path Home::documentsDirectory() {
    auto name = checkedComponent(PlatformConfig::current()->bundleIdentifier, "bundle identifier");
    return inHome({"documents", name});
}

std::filesystem::path Home::notifyDirectory() {
    return inHome({"notify"});
}

std::filesystem::path Home::notifyFile(std::string_view name) {
    return notifyDirectory() / checkedComponent(name, "notification");
}

}  // namespace orvanpush::platform
