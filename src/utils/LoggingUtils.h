#pragma once

// The upload of the SDK's log files for one instance. Today's log files are packed into ZIP
// archives beside them ("2024-05-01-com.example.app.log.zip") and every archive of the day is
// posted to the log server, with the subscriber's client and device ids; the server's answer
// may switch the log level and the send-logs switch.
//
//   auto utils = std::make_shared<LoggingUtils>("myInstance", settings);
//   utils->uploadLogFiles([](std::vector<LogUploadOutcome> outcomes) {
//       // on the URL session's callback pool, once every upload has answered
//   });
//
// The log server's address comes from the instance's settings ("logServerProtocolTypeKey",
// "logServerAddressKey", "logServerPortKey", "logServerContextKey"; by default https, the
// built-in host, 443 and no context), read at the first upload. A built-in host under a name
// reserved for examples is no log server: without one in the settings nothing is sent. Uploads
// count as outstanding work and need nothing of this object once started.

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "orvanpush/LogUploadOutcome.h"
#include "utils/SettingsUtils.h"

namespace orvanpush::detail {

class LogServerService;

class LoggingUtils {
  public:
    using UploadCompletion = std::function<void(LogUploadOutcome)>;
    using UploadsCompletion = std::function<void(std::vector<LogUploadOutcome>)>;

    /// `settingsUtils` may be null (a store that could not be opened): nothing is uploaded then.
    LoggingUtils(std::string identifier, std::shared_ptr<SettingsUtils> settingsUtils);
    ~LoggingUtils();
    LoggingUtils(const LoggingUtils&) = delete;
    LoggingUtils& operator=(const LoggingUtils&) = delete;

    /// The instance identifier.
    const std::string& identifier() const { return identifier_; }
    /// The instance's settings store (may be null for a store that could not be opened).
    const std::shared_ptr<SettingsUtils>& settingsUtils() const { return settingsUtils_; }

    /// When send-logs is "1" and the level is not "off": zips each of today's log files into
    /// its own name + ".zip" (replacing an archive of an earlier call), then uploads every
    /// archive of the day, and returns once the requests are started. `postCompleted` (when
    /// given) runs exactly once on the callback pool after every upload has answered, with one
    /// outcome per archive in the order they were started; an empty list when nothing was
    /// uploaded.
    void uploadLogFiles(UploadsCompletion postCompleted = nullptr);

    /// Uploads `file` (an upload without one sends only the ids). The answer's logging control
    /// is applied, and its outcome logged ("File \"...\" successfully sent" or "... not sent.
    /// Description: ..."), recorded in the log files and handed to `postCompleted` on the
    /// callback pool, exactly once. A file that cannot be read is not sent ("Can not get data
    /// from file: <path>"), and nor is anything without a log server (no settings store).
    void uploadLogFile(const std::optional<std::filesystem::path>& file,
                       UploadCompletion postCompleted = nullptr);

    /// Packs `srcFile` into a new archive at `dstFile`, removing a file already there first.
    /// False, with the failure logged, when it cannot; a failed archive is never left behind.
    static bool zipFile(const std::filesystem::path& srcFile, const std::filesystem::path& dstFile);

    /// Removes the item at `at`, logging "File removed!" or why it was not removed.
    static void removeFiles(const std::filesystem::path& at);

    /// The log server's client, made at the first call from the settings; null without a
    /// settings store, when the settings cannot be read, or when they name no log server and
    /// the built-in one is a placeholder (uploads then answer LogUploadOutcome::noLogServer
    /// without sending anything).
    std::shared_ptr<const LogServerService> logServerService();

  private:
    std::string identifier_;
    std::shared_ptr<SettingsUtils> settingsUtils_;
    std::once_flag logServerServiceMade_;
    std::shared_ptr<const LogServerService> logServerService_;
    /// Set with the service: no log server is configured and the built-in one is a placeholder.
    bool withoutLogServer_ = false;
};

}  // namespace orvanpush::detail
