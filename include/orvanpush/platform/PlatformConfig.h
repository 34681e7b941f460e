#pragma once

// The process-wide description of the host: where the library keeps its files and who the
// process is. A host sets it once, before its first call into the library:
//
//   auto config = orvanpush::platform::PlatformConfig::fromEnvironment();
//   config.bundleIdentifier = "com.example.app";
//   orvanpush::platform::PlatformConfig::install(config);

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#include "orvanpush/Export.h"

namespace orvanpush::platform {

/// The notification authorisation the host reports (the values of the platform enumeration).
enum class AuthorizationStatus {
    notDetermined = 0,
    denied = 1,
    authorized = 2,
    provisional = 3,
    ephemeral = 4
};

/// Who the process is and where the library keeps its files. Install it before the first
/// library call; `current()` is thread-safe.
struct ORVANPUSH_EXPORT PlatformConfig {
    /// Root of every file the library writes ($ORVANPUSH_HOME, else $XDG_DATA_HOME/orvanpush,
    /// else ~/.local/share/orvanpush).
    std::filesystem::path home;
    /// The process's bundle identifier ($ORVANPUSH_BUNDLE_ID, else the executable's name).
    std::string bundleIdentifier;
    /// The process's bundle path (default /proc/self/exe); a path ending in ".appex" makes the
    /// process the notification-service extension.
    std::string bundlePath;
    /// Prefix of every keychain access group of this user's applications.
    std::string appIdentifierPrefix = "LOCALAPP00";
    /// Keychain access groups this process is entitled to besides its default group
    /// (`appIdentifierPrefix + "." + bundleIdentifier`): a keychain query that names no group
    /// sees the items of these groups and of the default group only. None by default.
    std::vector<std::string> keychainAccessGroups;
    /// Operating-system version reported to the push server ($ORVANPUSH_OS_VERSION, else the
    /// kernel release).
    std::string osVersion;
    /// Hardware model identifier of the device ("iPhone13,2"; $ORVANPUSH_DEVICE_MODEL, else the
    /// machine field of uname).
    std::string hardwareModel;
    /// CA certificates (a PEM file) that verify TLS peers, for servers whose certificates come
    /// from a private CA ($ORVANPUSH_CA_FILE; the CLI's --ca-file); the system store when
    /// absent. Verification is never switched off.
    std::optional<std::string> caFile;
    /// Source of the notification authorisation ($ORVANPUSH_NOTIFICATION_AUTH by default).
    std::function<AuthorizationStatus()> notificationAuthorization;

    /// A configuration filled from the environment as described for each field.
    static PlatformConfig fromEnvironment();

    /// Makes `config` the process's configuration. Call before the first library call; files
    /// already opened keep the paths they were opened with.
    static void install(PlatformConfig config);

    /// The process's configuration: the installed one, else the environment's (read once).
    static std::shared_ptr<const PlatformConfig> current();

    /// True when the bundle path ends in ".appex".
    bool isExtension() const;
    /// The keychain access group of items added without one: `appIdentifierPrefix` "."
    /// `bundleIdentifier`.
    std::string defaultKeychainAccessGroup() const;
};

}  // namespace orvanpush::platform
