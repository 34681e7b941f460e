#include "orvanpush/Reachability.h"

#include <cerrno>
#include <utility>

#include "platform/NetlinkReachability.h"

namespace orvanpush {
namespace {

using namespace reachability_flags;

// The label of a Reachability's own serial queue.
constexpr const char* kSerialQueueLabel = "io.orvanpush.reachabilityQueue";

constexpr std::int64_t kNoFlags = -1;

std::string describeAddress(const Bytes& address) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (const auto byte : address) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xF];
    }
    return text;
}

}  // namespace

ReachabilityError::ReachabilityError(Kind kind, std::int32_t errorCode, Bytes address,
                                     std::string hostname)
    : kind_(kind),
      errorCode_(errorCode),
      address_(std::move(address)),
      hostname_(std::move(hostname)) {
    const std::string code = std::to_string(errorCode_);
    switch (kind_) {
        case Kind::failedToCreateWithAddress:
            description_ =
                "failedToCreateWithAddress(<" + describeAddress(address_) + ">, " + code + ")";
            break;
        case Kind::failedToCreateWithHostname:
            description_ = "failedToCreateWithHostname(\"" + hostname_ + "\", " + code + ")";
            break;
        case Kind::unableToSetCallback:
            description_ = "unableToSetCallback(" + code + ")";
            break;
        case Kind::unableToSetDispatchQueue:
            description_ = "unableToSetDispatchQueue(" + code + ")";
            break;
        case Kind::unableToGetFlags:
            description_ = "unableToGetFlags(" + code + ")";
            break;
    }
}

ReachabilityError ReachabilityError::failedToCreateWithAddress(Bytes address,
                                                               std::int32_t errorCode) {
    return {Kind::failedToCreateWithAddress, errorCode, std::move(address), {}};
}

ReachabilityError ReachabilityError::failedToCreateWithHostname(std::string hostname,
                                                                std::int32_t errorCode) {
    return {Kind::failedToCreateWithHostname, errorCode, {}, std::move(hostname)};
}

ReachabilityError ReachabilityError::unableToSetCallback(std::int32_t errorCode) {
    return {Kind::unableToSetCallback, errorCode, {}, {}};
}

ReachabilityError ReachabilityError::unableToSetDispatchQueue(std::int32_t errorCode) {
    return {Kind::unableToSetDispatchQueue, errorCode, {}, {}};
}

ReachabilityError ReachabilityError::unableToGetFlags(std::int32_t errorCode) {
    return {Kind::unableToGetFlags, errorCode, {}, {}};
}

std::shared_ptr<Reachability> Reachability::makeWithReachabilityRef(
    std::shared_ptr<ReachabilityFlagSource> reachabilityRef,
    std::shared_ptr<platform::DispatchQueue> targetQueue, NotificationQueue notificationQueue) {
    return std::make_shared<Reachability>(ConstructionKey{}, std::move(reachabilityRef),
                                          std::move(targetQueue), std::move(notificationQueue));
}

std::shared_ptr<Reachability> Reachability::makeWithHostname(
    const std::string& hostname, std::shared_ptr<platform::DispatchQueue> targetQueue,
    NotificationQueue notificationQueue) {
    if (hostname.empty() || hostname.find('\0') != std::string::npos) {
        throw ReachabilityError::failedToCreateWithHostname(hostname, EINVAL);
    }
    return make(std::move(targetQueue), std::move(notificationQueue));
}

std::shared_ptr<Reachability> Reachability::make(
    std::shared_ptr<platform::DispatchQueue> targetQueue, NotificationQueue notificationQueue) {
    return makeWithReachabilityRef(std::make_shared<platform::NetlinkReachability>(),
                                   std::move(targetQueue), std::move(notificationQueue));
}

Reachability::Reachability(ConstructionKey, std::shared_ptr<ReachabilityFlagSource> reachabilityRef,
                           std::shared_ptr<platform::DispatchQueue> targetQueue,
                           NotificationQueue notificationQueue)
    : reachabilityRef_(std::move(reachabilityRef)),
      notificationQueue_(std::move(notificationQueue)),
      reachabilitySerialQueue_(std::move(targetQueue)),
      notificationCenter_(platform::NotificationCenter::defaultCenter()) {}

Reachability::~Reachability() {
    // Nothing else can start or stop the notifier now: the handle is cleared directly.
    reachabilityRef_->setCallback(nullptr);
    reachabilityRef_->setDispatchQueue(nullptr);
}

platform::DispatchQueue& Reachability::serialQueue() {
    std::call_once(serialQueueOnce_, [this] {
        if (!reachabilitySerialQueue_) {
            reachabilitySerialQueue_ = std::make_shared<platform::DispatchQueue>(kSerialQueueLabel);
        }
    });
    return *reachabilitySerialQueue_;
}

void Reachability::startNotifier() {
    serialQueue().sync([this] { startOnSerialQueue(); });
}

void Reachability::startOnSerialQueue() {
    if (notifierRunning_) {
        return;
    }
    // The handle holds only this weak reference, never the Reachability itself.
    std::weak_ptr<Reachability> weakifier = weak_from_this();
    const bool callbackSet = reachabilityRef_->setCallback([weakifier](ReachabilityFlags flags) {
        if (const auto reachability = weakifier.lock()) {
            reachability->update(flags);
        }
    });
    if (!callbackSet) {
        stopOnSerialQueue();
        throw ReachabilityError::unableToSetCallback(reachabilityRef_->lastError());
    }
    if (!reachabilityRef_->setDispatchQueue(reachabilitySerialQueue_)) {
        stopOnSerialQueue();
        throw ReachabilityError::unableToSetDispatchQueue(reachabilityRef_->lastError());
    }
    if (!readFlags()) {
        stopOnSerialQueue();
        throw ReachabilityError::unableToGetFlags(reachabilityRef_->lastError());
    }
    notifierRunning_ = true;
}

void Reachability::stopNotifier() {
    serialQueue().sync([this] { stopOnSerialQueue(); });
}

void Reachability::stopOnSerialQueue() {
    reachabilityRef_->setCallback(nullptr);
    reachabilityRef_->setDispatchQueue(nullptr);
    notifierRunning_ = false;
}

bool Reachability::readFlags() {
    const auto flags = reachabilityRef_->getFlags();
    if (!flags) {
        return false;
    }
    update(*flags);
    return true;
}

void Reachability::update(ReachabilityFlags flags) {
    if (flags_.exchange(flags) != static_cast<std::int64_t>(flags)) {
        notifyReachabilityChanged();
    }
}

void Reachability::notifyReachabilityChanged() {
    auto notify = [weak = weak_from_this()] {
        const auto self = weak.lock();
        if (!self) {
            return;
        }
        const auto callback = self->connection() == Connection::unavailable
                                  ? self->whenUnreachable()
                                  : self->whenReachable();
        try {
            if (callback) {
                callback(self);
            }
        } catch (...) {
            // The host's callback failing must not stop the notification.
        }
        if (const auto center = self->notificationCenter()) {
            center->post(reachabilityChanged, self);
        }
    };
    if (notificationQueue_) {
        notificationQueue_(std::move(notify));
    } else {
        notify();
    }
}

std::optional<ReachabilityFlags> Reachability::flags() const {
    const auto flags = flags_.load();
    if (flags == kNoFlags) {
        return std::nullopt;
    }
    return static_cast<ReachabilityFlags>(flags);
}

Reachability::Connection Reachability::connection() {
    if (!flags()) {
        bool failed = false;
        serialQueue().sync([&] { failed = !flags() && !readFlags(); });
        if (failed) {
            stopNotifier();
        }
    }
    const auto current = flags().value_or(0);
    if ((current & reachable) == 0) {
        return Connection::unavailable;
    }
    if ((current & isWWAN) != 0) {
        return allowsCellularConnection() ? Connection::cellular : Connection::unavailable;
    }
    return Connection::wifi;
}

Reachability::NetworkStatus Reachability::currentReachabilityStatus() {
    switch (connection()) {
        case Connection::wifi:
            return NetworkStatus::reachableViaWiFi;
        case Connection::cellular:
            return NetworkStatus::reachableViaWWAN;
        case Connection::unavailable:
            break;
    }
    return NetworkStatus::notReachable;
}

std::string Reachability::currentReachabilityString() {
    return toString(connection());
}

bool Reachability::isReachable() {
    return connection() != Connection::unavailable;
}

bool Reachability::isReachableViaWiFi() {
    return connection() == Connection::wifi;
}

bool Reachability::isReachableViaWWAN() {
    return connection() == Connection::cellular;
}

std::string Reachability::description() const {
    const auto current = flags();
    if (!current) {
        return "unavailable flags";
    }
    const auto mark = [&](ReachabilityFlags flag, char letter) {
        return (*current & flag) != 0 ? letter : '-';
    };
    return {mark(isWWAN, 'W'),
            mark(reachable, 'R'),
            ' ',
            mark(connectionRequired, 'c'),
            mark(transientConnection, 't'),
            mark(interventionRequired, 'i'),
            mark(connectionOnTraffic, 'C'),
            mark(connectionOnDemand, 'D'),
            mark(isLocalAddress, 'l'),
            mark(isDirect, 'd')};
}

Reachability::NetworkCallback Reachability::whenReachable() const {
    std::lock_guard lock(mutex_);
    return whenReachable_;
}

void Reachability::setWhenReachable(NetworkCallback callback) {
    std::lock_guard lock(mutex_);
    whenReachable_ = std::move(callback);
}

Reachability::NetworkCallback Reachability::whenUnreachable() const {
    std::lock_guard lock(mutex_);
    return whenUnreachable_;
}

void Reachability::setWhenUnreachable(NetworkCallback callback) {
    std::lock_guard lock(mutex_);
    whenUnreachable_ = std::move(callback);
}

std::shared_ptr<platform::NotificationCenter> Reachability::notificationCenter() const {
    std::lock_guard lock(mutex_);
    return notificationCenter_;
}

void Reachability::setNotificationCenter(std::shared_ptr<platform::NotificationCenter> center) {
    std::lock_guard lock(mutex_);
    notificationCenter_ = std::move(center);
}

std::string toString(Reachability::Connection connection) {
    switch (connection) {
        case Reachability::Connection::wifi:
            return "WiFi";
        case Reachability::Connection::cellular:
            return "Cellular";
        case Reachability::Connection::unavailable:
            break;
    }
    return "No Connection";
}

std::string toString(Reachability::NetworkStatus status) {
    switch (status) {
        case Reachability::NetworkStatus::reachableViaWiFi:
            return "WiFi";
        case Reachability::NetworkStatus::reachableViaWWAN:
            return "Cellular";
        case Reachability::NetworkStatus::notReachable:
            break;
    }
    return "No Connection";
}

}  // namespace orvanpush
