#include "sdk/SubscriptionKey.h"

#include <utility>

#include "sdk/PushSDKState.h"
#include "security/Crypto.h"

namespace orvanpush::detail {
namespace {

std::int64_t secondsNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// The record of a pending pair: when it was made, and once its request went out, what the
// request carried.
Json pendingRecord(std::int64_t created,
                   const std::optional<SubscriptionKey::Registration>& sent = std::nullopt) {
    Json record = {{"created", created}, {"sent", sent.has_value()}};
    if (sent) {
        record["deviceId"] = sent->deviceId ? Json(*sent->deviceId) : Json();
        record["clientId"] = sent->clientId;
        record["token"] = sent->token;
    }
    return record;
}

bool wasSent(const Json& record) {
    return record.is_object() && record.value("sent", false) &&
           record.value("clientId", Json()).is_string() &&
           record.value("token", Json()).is_string();
}

}  // namespace

std::shared_ptr<SubscriptionKey> SubscriptionKey::generate(const std::string& identifier) {
    auto pending = PendingKeyPair::make(identifier);
    // Recorded first, so that no pending key exists that an orphan sweep cannot find.
    const auto created = secondsNow();
    const bool generated = pending.record(pendingRecord(created)) == platform::errSecSuccess &&
                           generateKeyPair(identifier, pending.publicTag, pending.privateTag,
                                           PushSDKState::keyType, PushSDKState::keySize);
    if (!generated) {
        pending.remove();
    }
    auto key = std::make_shared<SubscriptionKey>(identifier,
                                                 generated ? std::optional(pending) : std::nullopt);
    key->created_ = created;
    return key;
}

std::optional<SubscriptionKey::Unanswered> SubscriptionKey::newestUnanswered(
    const std::string& identifier) {
    for (const auto& [pair, record] : PendingKeyPair::recorded(identifier)) {
        if (wasSent(record)) {
            const auto deviceId = record.value("deviceId", Json());
            return Unanswered{
                pair,
                {.deviceId = deviceId.is_string() ? std::optional(deviceId.get<std::string>())
                                                  : std::nullopt,
                 .clientId = record["clientId"].get<std::string>(),
                 .token = record["token"].get<std::string>()}};
        }
    }
    return std::nullopt;
}

void SubscriptionKey::removeOrphans(const std::string& identifier) {
    const auto oldest = secondsNow() - std::chrono::seconds(orphanAge).count();
    for (const auto& [pair, record] : PendingKeyPair::recorded(identifier)) {
        const auto& created = record.is_object() ? record.value("created", Json()) : Json();
        if (!created.is_number_integer() || created.get<std::int64_t>() < oldest) {
            pair.remove();
        }
    }
}

SubscriptionKey::SubscriptionKey(std::string identifier, std::optional<PendingKeyPair> pending)
    : identifier_(std::move(identifier)), pending_(std::move(pending)) {}

SubscriptionKey::~SubscriptionKey() {
    if (!sent_) {
        discard();
    }
}

std::string SubscriptionKey::publicKey() const {
    return pending_ ? getPublicKeyString(identifier_, pending_->publicTag, pending_->privateTag,
                                         PushSDKState::keyType, PushSDKState::keySize)
                    : getPublicKeyString(identifier_, publicKeyTag(identifier_),
                                         privateKeyTag(identifier_), PushSDKState::keyType,
                                         PushSDKState::keySize);
}

void SubscriptionKey::markSent(const Registration& registration) {
    if (pending_) {
        pending_->record(pendingRecord(created_, registration));
    }
    sent_ = true;
}

platform::OSStatus SubscriptionKey::commit() const {
    return pending_ ? pending_->commit() : platform::errSecSuccess;
}

void SubscriptionKey::discard() {
    if (pending_) {
        pending_->remove();
        pending_.reset();
    }
}

}  // namespace orvanpush::detail
