#pragma once

// The one class through which an application and its notification-service extension use the
// library. The application configures a named instance once; any process then obtains a working
// object for that name:
//
//   orvanpush::PushSDK::createInstance("myInstance", "group.com.example",
//                                      {"https", "push.example.com", 443, "api"}, "login",
//                                      "password", std::nullopt, true, std::nullopt);
//   auto sdk = orvanpush::PushSDK::getInstance("myInstance");
//   std::optional<std::string> token = sdk->getSavedToken();
//
// The configuration lives in the keychain and the shared settings store, not in memory: each
// getInstance reads it back and builds a new object, which keeps the values it read.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "orvanpush/HttpRequestAdditionalHeaderManager.h"
#include "orvanpush/LogUploadOutcome.h"
#include "orvanpush/ServerParams.h"
#include "orvanpush/SettingReceiver.h"

namespace orvanpush {

namespace detail {
struct PushSDKState;
struct PushSDKAccess;
}  // namespace detail

class PushSDK {
  public:
    using SettingReceivers = std::vector<std::shared_ptr<SettingReceiver>>;

    /// Saves the configuration of the instance `identifier`: the name of the shared application
    /// group in the keychain (access group `identifier`), every other value in the settings
    /// store of that group. An absent log server leaves an earlier one in place; an empty login
    /// or password is stored as missing. Throws TextError when the keychain refuses the group
    /// name; nothing is written then.
    static void createInstance(const std::string& identifier, const std::string& sharedAppGroup,
                               const ServerParams& pushServerParams, const std::string& login,
                               const std::string& password,
                               const std::optional<ServerParams>& logServerParams,
                               bool silenceDuplicates,
                               const std::optional<StorageParams>& storageParams);
    /// The same, with `identifier` as the shared group and no storage limits.
    static void createInstance(const std::string& identifier, const ServerParams& pushServerParams,
                               const std::string& login, const std::string& password,
                               const std::optional<ServerParams>& logServerParams,
                               bool silenceDuplicates);

    /// A new object for the instance `identifier`, built from its stored configuration. The
    /// receivers supply settings the store lacks; the header manager adds headers to every
    /// request. Throws OrvanPushSDKError settingNotFound naming the first mandatory setting
    /// missing (protocol, address, port, login, password, in that order).
    static std::shared_ptr<PushSDK> getInstance(
        const std::string& identifier, SettingReceivers settingReceivers = {},
        std::shared_ptr<HttpRequestAdditionalHeaderManager> headerManager = nullptr);
    /// The same, with the header manager given second.
    static std::shared_ptr<PushSDK> getInstance(
        const std::string& identifier, std::shared_ptr<HttpRequestAdditionalHeaderManager> with,
        SettingReceivers settingsReceivers = {});

    /// Does nothing: logging is set up whenever an instance is created or obtained.
    static void enableLogging();

    /// The library's version: its short version, ".", and its build number ("1.0.1").
    static std::string OrvanPushSDKVersion();

    /// Waits until the library's work in flight in this process has finished (requests and
    /// their resends, re-sends of queued reports, log uploads, queued store work, of every
    /// instance), or `timeout` passes. True when nothing is left. An extension calls it before
    /// it hands its content back; a command-line program before it exits.
    static bool waitForOutstandingWork(std::chrono::milliseconds timeout);

    /// The push token saved by the last subscription or token update; nothing before, and
    /// nothing when the settings store cannot be read (never throws).
    std::optional<std::string> getSavedToken();
    /// The client id saved by the last subscription; nothing before or on a store failure.
    std::optional<std::string> getClientId();
    /// The device id saved by the last subscription; nothing before or on a store failure.
    std::optional<std::string> getDeviceId();

    // Log upload.

    /// Zips today's log files and uploads the day's archives to the log server of the
    /// instance last created or obtained in this process (any instance's object may ask), when
    /// send-logs is on and the log level is not "off". Returns once the requests are started;
    /// the server's answers (which may change the log level) are handled on the callback pool.
    /// Never throws.
    void sendLogs();
    /// The same; `postCompleted` runs exactly once on the URL session's callback pool after
    /// every upload of this call has answered, with each archive's outcome: an empty list when
    /// nothing was uploaded.
    void sendLogs(std::function<void(std::vector<LogUploadOutcome>)> postCompleted);

  private:
    // Only the library can name this key, so instances come from getInstance alone.
    struct ConstructionKey {
        explicit ConstructionKey() = default;
    };

  public:
    /// Not for hosts (they cannot name the key): instances come from getInstance.
    PushSDK(ConstructionKey, std::shared_ptr<detail::PushSDKState> state);
    ~PushSDK();
    PushSDK(const PushSDK&) = delete;
    PushSDK& operator=(const PushSDK&) = delete;

  private:
    friend struct detail::PushSDKAccess;

    // Shared with the work the object starts, so a host may drop the object at any time.
    std::shared_ptr<detail::PushSDKState> state_;
};

}  // namespace orvanpush
