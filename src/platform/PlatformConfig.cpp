#include "orvanpush/platform/PlatformConfig.h"

#include <charconv>
#include <mutex>

#include "platform/ProcessInfo.h"

namespace orvanpush::platform {
namespace {

std::filesystem::path defaultHome() {
    if (auto home = ProcessInfo::environment("ORVANPUSH_HOME"); home && !home->empty()) {
        return *home;
    }
    if (auto data = ProcessInfo::environment("XDG_DATA_HOME"); data && !data->empty()) {
        return std::filesystem::path(*data) / "orvanpush";
    }
    auto user = ProcessInfo::environment("HOME").value_or("/tmp");
    return std::filesystem::path(user) / ".local" / "share" / "orvanpush";
}

std::optional<AuthorizationStatus> authorizationFromText(const std::string& text) {
    if (text == "notDetermined")
        return AuthorizationStatus::notDetermined;
    if (text == "denied")
        return AuthorizationStatus::denied;
    if (text == "authorized")
        return AuthorizationStatus::authorized;
    if (text == "provisional")
        return AuthorizationStatus::provisional;
    if (text == "ephemeral")
        return AuthorizationStatus::ephemeral;
    return std::nullopt;
}

std::size_t maxResponseBytesFromEnvironment() {
    const auto text = ProcessInfo::environment("ORVANPUSH_MAX_RESPONSE_BYTES");
    if (!text) {
        return PlatformConfig::kDefaultMaxResponseBytes;
    }
    std::size_t limit = 0;
    const char* end = text->data() + text->size();
    const auto [stop, failure] = std::from_chars(text->data(), end, limit);
    const bool whole = !text->empty() && failure == std::errc() && stop == end;
    return whole && limit > 0 ? limit : PlatformConfig::kDefaultMaxResponseBytes;
}

AuthorizationStatus authorizationFromEnvironment() {
    auto text = ProcessInfo::environment("ORVANPUSH_NOTIFICATION_AUTH");
    if (!text) {
        return AuthorizationStatus::authorized;
    }
    return authorizationFromText(*text).value_or(AuthorizationStatus::notDetermined);
}

struct Installed {
    std::mutex mutex;
    std::shared_ptr<const PlatformConfig> config;
};

Installed& installed() {
    static Installed instance;
    return instance;
}

}  // namespace

PlatformConfig PlatformConfig::fromEnvironment() {
    PlatformConfig config;
    config.home = defaultHome();
    auto executable = ProcessInfo::executablePath();
    config.bundleIdentifier = ProcessInfo::environment("ORVANPUSH_BUNDLE_ID")
                                  .value_or(std::filesystem::path(executable).filename().string());
    config.bundlePath = executable;
    config.osVersion =
        ProcessInfo::environment("ORVANPUSH_OS_VERSION").value_or(ProcessInfo::kernelRelease());
    config.hardwareModel =
        ProcessInfo::environment("ORVANPUSH_DEVICE_MODEL").value_or(ProcessInfo::machine());
    config.caFile = ProcessInfo::environment("ORVANPUSH_CA_FILE");
    config.maxResponseBytes = maxResponseBytesFromEnvironment();
    config.notificationAuthorization = authorizationFromEnvironment;
    return config;
}

void PlatformConfig::install(PlatformConfig config) {
    auto& state = installed();
    std::lock_guard lock(state.mutex);
    state.config = std::make_shared<const PlatformConfig>(std::move(config));
}

std::shared_ptr<const PlatformConfig> PlatformConfig::current() {
    auto& state = installed();
    std::lock_guard lock(state.mutex);
    if (!state.config) {
        state.config = std::make_shared<const PlatformConfig>(fromEnvironment());
    }
    return state.config;
}

bool PlatformConfig::isExtension() const {
    constexpr std::string_view suffix = ".appex";
    return bundlePath.size() >= suffix.size() &&
           bundlePath.compare(bundlePath.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string PlatformConfig::defaultKeychainAccessGroup() const {
    return appIdentifierPrefix + "." + bundleIdentifier;
}

}  // namespace orvanpush::platform
