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
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>
#include "orvanpush/Export.h"

#include "orvanpush/BaseApiResult.h"
#include "orvanpush/ContentDownloadResult.h"
#include "orvanpush/HttpRequestAdditionalHeaderManager.h"
#include "orvanpush/LogUploadOutcome.h"
#include "orvanpush/NotificationContent.h"
#include "orvanpush/NotificationRequest.h"
#include "orvanpush/ServerParams.h"
#include "orvanpush/SettingReceiver.h"
#include "orvanpush/StatisticsResult.h"
#include "orvanpush/SubscriberGetResult.h"
#include "orvanpush/TextError.h"
#include "orvanpush/Types.h"
#include "orvanpush/storage/FetchedResultsController.h"
#include "orvanpush/storage/MessageProtocols.h"
#include "orvanpush/storage/Predicate.h"
#include "orvanpush/storage/StorageErrors.h"

namespace orvanpush {

namespace detail {
struct PushSDKState;
struct PushSDKAccess;
}  // namespace detail

/// One configured instance as read from its stored configuration. Completions run on the
/// queue each member names; the object may be dropped while work it started is in flight.
class ORVANPUSH_EXPORT PushSDK {
  public:
    /// Sources of settings the store lacks, asked in order (see SettingReceiver).
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

    // Subscription and subscriber queries. Each checks its arguments on the caller's thread and
    // throws OrvanPushSDKError before anything is sent (a keychain or signing failure throws
    // TextError); the notification-authorisation probe may block the caller up to 5 seconds.
    // Once a request is under way every outcome, failures included, reaches `postCompleted`
    // exactly once, on the URL session's callback pool (or on the caller's thread, before the
    // call returns, when the request cannot even be built); what it throws is logged and goes no
    // further. Host strings that are not valid UTF-8 are repaired (U+FFFD) before they are
    // signed or sent. Timeouts are in seconds; an absent one means the default. The object may
    // be dropped while its requests run.
    //
    //   sdk->subscribe("phone-1", "client-42", token, std::nullopt, [](auto result) {
    //       if (result && result->getResultKind() == orvanpush::ResultKind::success) { ... }
    //   });

    /// Receives the operation's result: a failure arrives as an error record (see BaseApiResult),
    /// so the result is absent only where a member says so.
    using ResultCompletion = std::function<void(std::optional<BaseApiResult>)>;

    // subscribe, unsubscribe and updateSubscription of one instance take turns across both
    // processes: each holds the lock file keychain/<identifier>.turn under the home from before
    // its request is sent until its answer is stored, so the ids and the device key change in
    // the order the operations got their turns. One that finds the turn taken waits on a library
    // thread (the caller's returns at once) for as long as its own request may take, then
    // completes with code 600, "Another subscription operation of this instance is still under
    // way; try again later".
    //
    // A subscribe or updateSubscription whose request went out without an answer (a time-out, a
    // transport failure, the process ended or killed) keeps its fresh pair pending in the
    // keychain: the server may hold it. When the server then refuses a signed request with code
    // 115 (key mismatch), the request is sent once more, signed with that pair: accepted, the pair
    // becomes the device key with the ids and token it was sent with; refused with 115, it is
    // removed and the first answer stands. Pending pairs a day old are removed by the next of
    // these three operations.

    /// Registers the device under the address device id "." client id (the client id alone
    /// without a device id) with `token` and the public key of a fresh key pair. On success the
    /// client id, the device id (removed when absent or empty) and the token are stored and the
    /// fresh pair becomes the device key; otherwise the previous pair and ids stay. Throws
    /// emptyMandatoryParameter "address" (no client id) or "token", or the TextError of
    /// reading the public key.
    void subscribe(const std::optional<std::string>& deviceId,
                   const std::optional<std::string>& clientId,
                   const std::optional<std::string>& token, std::optional<double> requestTimeout,
                   ResultCompletion postCompleted);
    /// Removes the registration of the stored address; on success (and on error code 104, "not
    /// subscribed") the stored ids are removed, the token and the key pair stay. Throws
    /// emptyMandatoryParameter "address" (nothing stored) or "token", or the signing TextError.
    void unsubscribe(const std::optional<std::string>& note, std::optional<double> requestTimeout,
                     ResultCompletion postCompleted);
    /// Registers the stored address again, as subscribe does, with a new token and a fresh key
    /// pair; the token is stored on success. Throws as subscribe.
    void updateSubscription(const std::optional<std::string>& token,
                            std::optional<double> requestTimeout, ResultCompletion postCompleted);
    /// The server's records of the device `rDeviceId` of the stored client (of the client id
    /// alone when absent or empty). Throws emptyMandatoryParameter "address" (nothing stored) or
    /// the signing TextError.
    void getSubscriberData(const std::optional<std::string>& rDeviceId,
                           std::optional<double> requestTimeout,
                           std::function<void(std::optional<SubscriberGetResult>)> postCompleted);
    /// Sets the subscriber's shown address (the own address when absent) and replaces its
    /// attributes. Throws as getSubscriberData, and invalidParameter "attributes" when two keys
    /// become one once their text that is not UTF-8 is repaired.
    void updateSubscriber(const std::optional<std::string>& updateAddress,
                          const std::map<std::string, std::string>& attributes,
                          std::optional<double> requestTimeout, ResultCompletion postCompleted);
    /// The history of the messages sent to the device `deviceId` of the stored client (to the
    /// own address when absent): dated from `dateFrom` to `dateTo` (no end when absent), only
    /// those of `requestId` when given, at most `amount` of them (all for 0). Throws as
    /// getSubscriberData.
    void getMessages(const std::optional<std::string>& deviceId,
                     const std::optional<std::string>& requestId, std::int64_t amount,
                     Date dateFrom, const std::optional<Date>& dateTo,
                     std::optional<double> requestTimeout,
                     std::function<void(std::optional<StatisticsResult>)> postCompleted);

    // ---- Messages: receipt and reading with their delivery reports, rich content, and the
    // local message store ----
    //
    // Receipt (in the extension) stores the message and reports "Delivered"; reading (in the
    // application) sets it read and reports "Read". A report the server does not take stays
    // queued in the store and is sent again after a later successful report. A report's
    // completion runs on the callback queue once its status is marked in the store.

    /// Handles a notification as it arrives: stores the message, then reports "Delivered", and
    /// hands `postCompleted` the report's result, an error, and the content to show (without
    /// its sound when the message is already stored and the instance silences duplicates).
    ///
    /// The message reached the device, so it is reported even when it cannot be stored (a full
    /// disk, a damaged store, a store locked past its wait): the error is then a
    /// StorageMessageError notSaved with the store's failure as its reason, beside the report's
    /// result. Only a success result with no error means the message is stored (once, however
    /// often it arrives). The error is also set, with no result, when the payload has no
    /// "message-id" string, its content nests deeper than platform::ForeignJson::kMaxDepth
    /// ("bestAttemptContent not found", and no content), or the report could not be made (no
    /// client id and no `with` address: OrvanPushSDKError). `with` is the subscriber address to
    /// report with, unsigned, when the settings have none. Never throws; `postCompleted` runs
    /// exactly once (on the callback queue, or on the calling thread for a payload without message
    /// id).
    void onMessageReceive(
        const NotificationRequest& request, const std::optional<std::string>& with,
        std::function<void(std::optional<BaseApiResult> result, std::exception_ptr error,
                           std::optional<MutableNotificationContent> content)>
            postCompleted);

    /// The completion of a receipt from the host's fields: a callable taking the report's
    /// result and the error of storing the message (as above: a StorageMessageError notSaved,
    /// or null when the message is stored or silent), or one taking the result alone (it is
    /// never told that a message was not stored), or nothing.
    class ReceiptCompletion {
      public:
        ReceiptCompletion() = default;
        ReceiptCompletion(std::nullptr_t) {}
        template <class Callable>
        requires(!std::is_same_v<Callable, ReceiptCompletion> &&
                 std::is_invocable_v<Callable&, std::optional<BaseApiResult>, std::exception_ptr>)
            ReceiptCompletion(Callable callable)
            : complete_(std::move(callable)) {}
        template <class Callable>
        requires(
            !std::is_invocable_v<Callable&, std::optional<BaseApiResult>, std::exception_ptr> &&
            std::is_invocable_v<Callable&, std::optional<BaseApiResult>>)
            ReceiptCompletion(Callable callable) {
            if constexpr (std::is_constructible_v<bool, const Callable&>) {
                if (!static_cast<bool>(callable)) {
                    return;  // an empty function or a null pointer
                }
            }
            complete_ = [callable = std::move(callable)](std::optional<BaseApiResult> result,
                                                         std::exception_ptr) mutable {
                callable(std::move(result));
            };
        }

        explicit operator bool() const { return static_cast<bool>(complete_); }
        void operator()(std::optional<BaseApiResult> result, std::exception_ptr error) const {
            complete_(std::move(result), std::move(error));
        }

      private:
        std::function<void(std::optional<BaseApiResult>, std::exception_ptr)> complete_;
    };

    /// The same for a message whose fields the host has. Without a title the message is
    /// silent: reported, but neither stored nor marked (and no error for that). Throws
    /// OrvanPushSDKError emptyMandatoryParameter "address" (no client id and no `with`) or
    /// "messageId" (an empty id), or invalidParameter "customData" (nested deeper than
    /// platform::ForeignJson::kMaxDepth), before anything is stored or sent; otherwise
    /// `postCompleted` runs exactly once, on the callback queue.
    void onMessageReceive(const std::string& messageId, const std::optional<std::string>& title,
                          const std::optional<std::string>& subtitle,
                          const std::optional<std::string>& body,
                          const std::optional<Json>& customData,
                          const std::optional<std::string>& with, ReceiptCompletion postCompleted);

    /// Handles the user's opening of a notification: sets its message read and reports "Read".
    /// A notification without a "message-id" string gets `postCompleted` with no result.
    /// Throws as onMessageRead(messageId) does.
    void onMessageRead(const NotificationResponse& didReceive, ResultCompletion postCompleted);
    /// Sets the message read and reports "Read", with "push-enabled" from the notification
    /// authorisation (waits for it up to 5 seconds: not on the thread that answers it).
    /// Throws OrvanPushSDKError emptyMandatoryParameter "address" (no client id) or
    /// "messageId" (an empty id); otherwise `postCompleted` runs exactly once.
    void onMessageRead(const std::string& messageId, ResultCompletion postCompleted);

    /// Downloads the rich content of message `messageId` from the push server (not stored).
    /// `requestTimeout` in seconds bounds each attempt. Throws OrvanPushSDKError
    /// emptyMandatoryParameter "address" (no client id) or "messageId", and TextError when
    /// there is no device key to sign with; otherwise `postCompleted` runs exactly once, on
    /// the callback queue.
    void downloadContent(const std::optional<std::string>& messageId,
                         std::optional<double> requestTimeout,
                         std::function<void(std::optional<ContentDownloadResult>)> postCompleted);
    /// The rich content of message `id`: the stored one, or else downloaded and stored. None
    /// when the download fails or the answer holds no content. Never throws; `postCompleted`
    /// runs exactly once, on the main queue.
    void getNotificationContent(
        const std::string& id,
        std::function<void(std::shared_ptr<ExtraContentProtocol>)> postCompleted);
    /// Receives the content, or why there is none: `failure` is the download's error result (the
    /// server's, or code 600 for a failed transfer or an answer that does not decode as
    /// content), `error` what kept the download from starting (OrvanPushSDKError, TextError).
    /// Neither is set when there is content, or when the server's answer holds none.
    using ContentCompletion =
        std::function<void(std::shared_ptr<ExtraContentProtocol> content,
                           std::optional<BaseApiResult> failure, std::exception_ptr error)>;
    /// The same, saying why there is no content. Content is stored only when it has a value: an
    /// answer that does not decode, or holds none, is not kept, and a later call asks again.
    void getNotificationContent(const std::string& id, ContentCompletion postCompleted);

    /// Deletes every stored message. Failures are logged.
    void removeAllMessages();
    /// The same; `postCompleted` gets the failure, if any, on the main queue (or on the calling
    /// thread when the store cannot be opened).
    void removeAllMessages(std::function<void(std::optional<TextError>)> postCompleted);
    /// Deletes the stored message with id `by`, if there is one. Failures are logged.
    void removeMessage(const std::string& by);
    /// The same, with the failure handed to `postCompleted` as removeAllMessages does.
    void removeMessage(const std::string& by,
                       std::function<void(std::optional<TextError>)> postCompleted);
    /// Deletes the stored messages that match `predicate`. Failures are logged.
    void removeMessages(const Predicate& predicate);
    /// The same, with the failure handed to `postCompleted` as removeAllMessages does.
    void removeMessages(const Predicate& predicate,
                        std::function<void(std::optional<TextError>)> postCompleted);

    /// The store's live list of messages, oldest first; null when the store cannot be opened.
    /// The controller is shared: getMessageByPredicate's predicate applies to it too.
    std::shared_ptr<FetchedResultsController> getFetchedResultsController();
    /// The stored message with `id`, or null (none stored, or the store failed); `postCompleted`
    /// runs exactly once, on the main queue (on the calling thread when the store cannot be
    /// opened).
    void getMessageById(const std::string& id,
                        std::function<void(std::shared_ptr<MessageProtocol>)> postCompleted);
    /// The shared controller, filtered by `predicate` and fetched; null when the store cannot
    /// be opened or the predicate cannot be used.
    std::shared_ptr<FetchedResultsController> getMessageByPredicate(const Predicate& predicate);

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
    struct ORVANPUSH_EXPORT ConstructionKey {
        explicit ConstructionKey() = default;
    };

  public:
    /// Not for hosts (they cannot name the key): instances come from getInstance.
    ORVANPUSH_INTERNAL PushSDK(ConstructionKey, std::shared_ptr<detail::PushSDKState> state);
    /// Work the object started goes on without it.
    ~PushSDK();
    PushSDK(const PushSDK&) = delete;
    PushSDK& operator=(const PushSDK&) = delete;

  private:
    friend struct detail::PushSDKAccess;

    // Shared with the work the object starts, so a host may drop the object at any time.
    std::shared_ptr<detail::PushSDKState> state_;
};

}  // namespace orvanpush
