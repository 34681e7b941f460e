#pragma once

// The stored entities that a message links to. Each holds the values read with it; its getters
// never throw. They are made by the store.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include "orvanpush/Export.h"

#include "orvanpush/storage/MessageProtocols.h"
#include "orvanpush/storage/MessageValues.h"
#include "orvanpush/storage/StoredObject.h"

namespace orvanpush {

/// A status name; one row per distinct name.
class ORVANPUSH_EXPORT Status : public StoredObject, public StatusProtocol {
  public:
    /// Made by the store from the row it read.
    ORVANPUSH_INTERNAL Status(std::shared_ptr<detail::SharedPersistentContainer> container,
                              std::int64_t key, std::optional<std::string> name);
    /// The status name ("Delivered", "Read", ...).
    std::optional<std::string> name() const override { return name_; }

  private:
    std::optional<std::string> name_;
};

/// A channel name; one row per distinct name.
class ORVANPUSH_EXPORT Channel : public StoredObject, public ChannelProtocol {
  public:
    /// Made by the store from the row it read.
    ORVANPUSH_INTERNAL Channel(std::shared_ptr<detail::SharedPersistentContainer> container,
                               std::int64_t key, std::optional<std::string> name);
    /// The channel's name.
    std::optional<std::string> name() const override { return name_; }

  private:
    std::optional<std::string> name_;
};

/// An icon; one row per URL.
class ORVANPUSH_EXPORT Icon : public StoredObject, public IconProtocol {
  public:
    /// Made by the store from the row it read.
    ORVANPUSH_INTERNAL Icon(std::shared_ptr<detail::SharedPersistentContainer> container,
                            std::int64_t key, std::optional<std::string> url,
                            std::optional<std::string> value);
    /// Where the icon comes from, and its content as it was stored.
    std::optional<std::string> url() const override { return url_; }
    std::optional<std::string> value() const override { return value_; }

  private:
    std::optional<std::string> url_;
    std::optional<std::string> value_;
};

/// The rich content of a message id; one row per message id.
class ORVANPUSH_EXPORT ExtraContent : public StoredObject, public ExtraContentProtocol {
  public:
    /// Made by the store from the row it read.
    ORVANPUSH_INTERNAL ExtraContent(std::shared_ptr<detail::SharedPersistentContainer> container,
                                    std::int64_t key, ExtraContentImp values);
    /// The values of ExtraContentProtocol, as read.
    std::optional<std::string> mimeType() const override { return values_.mimeType(); }
    std::optional<std::string> value() const override { return values_.value(); }
    std::optional<std::string> messageId() const override { return values_.messageId(); }

  private:
    ExtraContentImp values_;
};

/// The classifier data of a message id; one row per message id.
class ORVANPUSH_EXPORT MessageAttributes : public StoredObject, public MessageAttributesProtocol {
  public:
    /// Made by the store from the row it read.
    ORVANPUSH_INTERNAL MessageAttributes(
        std::shared_ptr<detail::SharedPersistentContainer> container, std::int64_t key,
        MessageAttributesImp values);
    /// The values of MessageAttributesProtocol, as read.
    std::int16_t classifierdId() const override { return values_.classifierdId(); }
    std::optional<std::string> classifierName() const override { return values_.classifierName(); }
    std::int16_t isImportant() const override { return values_.isImportant(); }
    std::optional<Date> messageDate() const override { return values_.messageDate(); }
    std::optional<std::string> messageId() const override { return values_.messageId(); }

  private:
    MessageAttributesImp values_;
};

}  // namespace orvanpush
