#pragma once

// The subscriber records the server holds for a device, as PushSDK::getSubscriberData delivers
// them: on success the records in the server's order, on failure an error code and no records.

#include <map>
#include <optional>
#include <string>
#include <vector>
#include "orvanpush/Export.h"

#include "orvanpush/BaseApiResult.h"

namespace orvanpush {

/// One subscriber record.
class ORVANPUSH_EXPORT SubscriberDataElement {
  public:
    /// Attribute names and values; a value may be null (absent).
    using Attributes = std::map<std::string, std::optional<std::string>>;

    /// A record with exactly these values; a plain value, copyable and comparable.
    explicit SubscriberDataElement(std::string address,
                                   std::optional<std::string> osType = std::nullopt,
                                   std::optional<std::string> osVersion = std::nullopt,
                                   std::optional<Attributes> attributes = std::nullopt);

    /// The subscriber's address.
    const std::string& getAddress() const { return address_; }
    /// Its operating system, when the server knows it.
    const std::optional<std::string>& getOsType() const { return osType_; }
    /// Its operating-system version, when the server knows it.
    const std::optional<std::string>& getOsVersion() const { return osVersion_; }
    /// Its attributes (a null value is kept as an absent one), when the server sent any.
    const std::optional<Attributes>& getAttributes() const { return attributes_; }

    /// Equal when every value is.
    bool operator==(const SubscriberDataElement&) const = default;

  private:
    std::string address_;
    std::optional<std::string> osType_;
    std::optional<std::string> osVersion_;
    std::optional<Attributes> attributes_;
};

/// A result with the subscriber records; a plain value, copyable and comparable.
///
///   sdk->getSubscriberData(std::nullopt, std::nullopt, [](auto result) {
///       if (result && result->getElements()) { ... }
///   });
class ORVANPUSH_EXPORT SubscriberGetResult : public BaseApiResult {
  public:
    /// A result with exactly these values.
    SubscriberGetResult(ResultKind resultKind, std::int64_t errorCode,
                        std::optional<std::string> errorDescription = std::nullopt,
                        std::optional<std::vector<SubscriberDataElement>> elements = std::nullopt);

    /// The records on success (possibly none); absent on failure.
    const std::optional<std::vector<SubscriberDataElement>>& getElements() const {
        return elements_;
    }

    /// Equal when every value is.
    bool operator==(const SubscriberGetResult&) const = default;

  private:
    std::optional<std::vector<SubscriberDataElement>> elements_;
};

}  // namespace orvanpush
