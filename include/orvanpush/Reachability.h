#pragma once

// Whether the network can be reached, and notice when that changes:
//
//   auto reachability =
//       orvanpush::Reachability::make(nullptr, orvanpush::platform::MainQueue::async);
//   reachability->setWhenReachable([](const std::shared_ptr<orvanpush::Reachability>& r) {
//       std::cout << toString(r->connection()) << '\n';  // "WiFi"
//   });
//   reachability->startNotifier();
//
// The network is reachable when the main routing table has a default route (IPv4 or IPv6) over
// an interface that is up and running (loopback aside); "direct" when that route has no
// gateway; "WWAN" when the interface is a cellular one. Nothing is ever sent to find out, and no
// name is ever looked up. An instance holds no socket and no thread until it is asked: its
// serial queue starts with the first reading, the kernel watch with startNotifier().

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include "orvanpush/Export.h"

#include "orvanpush/Types.h"
#include "orvanpush/platform/DispatchQueue.h"
#include "orvanpush/platform/NotificationCenter.h"

namespace orvanpush {

/// The reachability flags of a target, by bit.
using ReachabilityFlags = std::uint32_t;
namespace reachability_flags {
/// The bits of ReachabilityFlags: reachability itself (`reachable`), what a connection would
/// need first, and what kind of route it is (local, `isDirect`: no gateway, `isWWAN`: cellular).
inline constexpr ReachabilityFlags transientConnection = 0x1;
inline constexpr ReachabilityFlags reachable = 0x2;
inline constexpr ReachabilityFlags connectionRequired = 0x4;
inline constexpr ReachabilityFlags connectionOnTraffic = 0x8;
inline constexpr ReachabilityFlags interventionRequired = 0x10;
inline constexpr ReachabilityFlags connectionOnDemand = 0x20;
inline constexpr ReachabilityFlags isLocalAddress = 0x10000;
inline constexpr ReachabilityFlags isDirect = 0x20000;
inline constexpr ReachabilityFlags isWWAN = 0x40000;
}  // namespace reachability_flags

/// Posted on a Reachability's notification center at every change, with the
/// std::shared_ptr<Reachability> as the notification's object.
inline constexpr const char* reachabilityChanged = "reachabilityChanged";
/// A name for hosts to use as they like; Reachability never posts it.
inline constexpr const char* ReachabilityChangedNotification = "ReachabilityChangedNotification";

/// What went wrong in making or starting a Reachability; each case carries the platform's
/// error code (errno).
class ORVANPUSH_EXPORT ReachabilityError : public std::exception {
  public:
    enum class Kind {
        failedToCreateWithAddress,   ///< also carries the socket address
        failedToCreateWithHostname,  ///< also carries the host name
        unableToSetCallback,
        unableToSetDispatchQueue,
        unableToGetFlags,
    };

    /// An error of each case, with its values.
    static ReachabilityError failedToCreateWithAddress(Bytes address, std::int32_t errorCode);
    static ReachabilityError failedToCreateWithHostname(std::string hostname,
                                                        std::int32_t errorCode);
    static ReachabilityError unableToSetCallback(std::int32_t errorCode);
    static ReachabilityError unableToSetDispatchQueue(std::int32_t errorCode);
    static ReachabilityError unableToGetFlags(std::int32_t errorCode);

    /// The case, and the platform's error code (errno).
    Kind kind() const noexcept { return kind_; }
    std::int32_t errorCode() const noexcept { return errorCode_; }
    /// The socket address of failedToCreateWithAddress; empty otherwise.
    const Bytes& address() const noexcept { return address_; }
    /// The host name of failedToCreateWithHostname; empty otherwise.
    const std::string& hostname() const noexcept { return hostname_; }
    /// The case and its values: `failedToCreateWithHostname("", 22)`, `unableToGetFlags(9)`.
    const char* what() const noexcept override { return description_.c_str(); }

  private:
    ReachabilityError(Kind kind, std::int32_t errorCode, Bytes address, std::string hostname);

    Kind kind_;
    std::int32_t errorCode_;
    Bytes address_;
    std::string hostname_;
    std::string description_;
};

/// The platform's handle on a reachability target: the flags now, and a callback for changes.
/// Implementations are safe to call from any thread. A host may supply its own (a test double,
/// another source of the same flags) to Reachability::makeWithReachabilityRef.
class ORVANPUSH_EXPORT ReachabilityFlagSource {
  public:
    /// Receives the new flags, on the queue set with setDispatchQueue.
    using Callback = std::function<void(ReachabilityFlags)>;

    virtual ~ReachabilityFlagSource() = default;

    /// The target's flags now; nothing on failure (lastError() then says why).
    virtual std::optional<ReachabilityFlags> getFlags() = 0;
    /// Installs the callback for flag changes, or removes it (an empty one). False on failure.
    virtual bool setCallback(Callback callback) = 0;
    /// Runs the callback on `queue` from now on; a null queue stops the callbacks. False on
    /// failure.
    virtual bool setDispatchQueue(std::shared_ptr<platform::DispatchQueue> queue) = 0;
    /// The error code of the last failure (errno).
    virtual std::int32_t lastError() const = 0;
};

/// Watches the reachability of the network. Made by the make functions only; every member may
/// be called from any thread.
class ORVANPUSH_EXPORT Reachability : public std::enable_shared_from_this<Reachability> {
  public:
    /// How the network is reached, if at all.
    enum class Connection { unavailable, wifi, cellular };
    /// The same as unavailable.
    static constexpr Connection none = Connection::unavailable;
    /// Mirrors Connection case by case.
    enum class NetworkStatus { notReachable, reachableViaWiFi, reachableViaWWAN };

    /// Receives the Reachability whose network changed; runs on the notification queue.
    using NetworkCallback = std::function<void(const std::shared_ptr<Reachability>&)>;
    /// Where callbacks and notifications run: a function that runs each task it is given
    /// (platform::MainQueue::async, or a lambda around a DispatchQueue's async).
    using NotificationQueue = std::function<void(std::function<void()>)>;

    /// A Reachability over an existing handle. Its serial queue is `targetQueue` when one is
    /// given (its work then runs there), else a queue of its own. Callbacks and notifications
    /// run on `notificationQueue`, else on the serial queue. Throws nothing.
    static std::shared_ptr<Reachability> makeWithReachabilityRef(
        std::shared_ptr<ReachabilityFlagSource> reachabilityRef,
        std::shared_ptr<platform::DispatchQueue> targetQueue = nullptr,
        NotificationQueue notificationQueue = nullptr);
    /// A Reachability of the route to `hostname`, which is never looked up: the network in
    /// general decides. Throws ReachabilityError failedToCreateWithHostname (EINVAL) for an
    /// empty name or one containing NUL.
    static std::shared_ptr<Reachability> makeWithHostname(
        const std::string& hostname, std::shared_ptr<platform::DispatchQueue> targetQueue = nullptr,
        NotificationQueue notificationQueue = nullptr);
    /// A Reachability of the network in general (the IPv4 zero address).
    static std::shared_ptr<Reachability> make(
        std::shared_ptr<platform::DispatchQueue> targetQueue = nullptr,
        NotificationQueue notificationQueue = nullptr);

    /// Stops the notifier (the handle then holds no callback and no queue).
    ~Reachability();
    Reachability(const Reachability&) = delete;
    Reachability& operator=(const Reachability&) = delete;

    /// Starts change notifications: installs the callback and the serial queue on the handle
    /// and reads the flags once (notifying on the notification queue when they are new). Does
    /// nothing while running; of two concurrent calls one installs the notifier. Throws
    /// ReachabilityError unableToSetCallback, unableToSetDispatchQueue or unableToGetFlags after
    /// stopping the notifier again, so a later call may retry.
    void startNotifier();
    /// Removes the callback and the queue from the handle. Safe from a callback.
    void stopNotifier();
    /// True between a successful startNotifier() and stopNotifier() (or a failed reading).
    bool notifierRunning() const { return notifierRunning_.load(); }

    /// The current connection: wifi when the flags say reachable; cellular when they also say
    /// WWAN and cellular connections are allowed (unavailable when they are not); else
    /// unavailable. The first call reads the flags on the serial queue (waiting for it); a
    /// failed reading gives unavailable and stops the notifier. Callable from any thread.
    Connection connection();
    /// connection() as a NetworkStatus.
    NetworkStatus currentReachabilityStatus();
    /// The description of connection(): "No Connection", "WiFi" or "Cellular".
    std::string currentReachabilityString();
    /// connection() is not unavailable, is wifi, is cellular.
    bool isReachable();
    bool isReachableViaWiFi();
    bool isReachableViaWWAN();

    /// "unavailable flags" before the first reading; else ten characters, a letter for each
    /// flag that is set and "-" for each that is not: W (WWAN), R (reachable), a blank, then c
    /// (connection required), t (transient), i (intervention required), C (on traffic), D (on
    /// demand), l (local address), d (direct). Reachable and direct: "-R ------d".
    std::string description() const;
    /// The flags of the last reading; nothing before the first.
    std::optional<ReachabilityFlags> flags() const;

    /// Called on the notification queue when a change leaves the network reachable.
    NetworkCallback whenReachable() const;
    /// Replaces the callback; an empty one removes it.
    void setWhenReachable(NetworkCallback callback);
    /// Called on the notification queue when a change leaves it unreachable.
    NetworkCallback whenUnreachable() const;
    /// Replaces the callback; an empty one removes it.
    void setWhenUnreachable(NetworkCallback callback);
    /// Whether a cellular connection counts as reachable (true by default).
    bool allowsCellularConnection() const { return allowsCellularConnection_.load(); }
    /// Takes effect at the next reading of connection().
    void setAllowsCellularConnection(bool allows) { allowsCellularConnection_ = allows; }
    /// Always true.
    bool reachableOnWWAN() const { return true; }
    /// Where "reachabilityChanged" is posted (the process's default center unless set).
    std::shared_ptr<platform::NotificationCenter> notificationCenter() const;
    /// Posts later changes on `center`.
    void setNotificationCenter(std::shared_ptr<platform::NotificationCenter> center);

  private:
    struct ORVANPUSH_EXPORT ConstructionKey {
        explicit ConstructionKey() = default;
    };

  public:
    /// Not for hosts: Reachability objects come from the make functions.
    Reachability(ConstructionKey, std::shared_ptr<ReachabilityFlagSource> reachabilityRef,
                 std::shared_ptr<platform::DispatchQueue> targetQueue,
                 NotificationQueue notificationQueue);

  private:
    platform::DispatchQueue& serialQueue();
    void startOnSerialQueue();
    void stopOnSerialQueue();
    /// Reads the flags (on the serial queue) and notifies when they changed; false when the
    /// handle failed.
    bool readFlags();
    /// Stores `flags` (on the serial queue) and notifies when they changed.
    void update(ReachabilityFlags flags);
    void notifyReachabilityChanged();

    const std::shared_ptr<ReachabilityFlagSource> reachabilityRef_;
    const NotificationQueue notificationQueue_;
    std::shared_ptr<platform::DispatchQueue> reachabilitySerialQueue_;
    std::once_flag serialQueueOnce_;
    std::atomic<bool> allowsCellularConnection_{true};
    std::atomic<bool> notifierRunning_{false};
    /// The flags, or -1 before the first reading.
    std::atomic<std::int64_t> flags_{-1};
    mutable std::mutex mutex_;  // guards the callbacks and the center
    NetworkCallback whenReachable_;
    NetworkCallback whenUnreachable_;
    std::shared_ptr<platform::NotificationCenter> notificationCenter_;
};

/// "No Connection", "WiFi" or "Cellular".
ORVANPUSH_EXPORT std::string toString(Reachability::Connection connection);
/// "No Connection", "WiFi" or "Cellular".
ORVANPUSH_EXPORT std::string toString(Reachability::NetworkStatus status);

}  // namespace orvanpush
