#pragma once

// Plain value classes of the message protocols: they carry message data into the store and out
// of it, and are not bound to any store. Every field is mutable.
//
//   orvanpush::MessageImp message;
//   message.setId("42");
//   message.setTitle("Sale");
//   message.setStatusName("Delivered");

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include "orvanpush/Export.h"

#include "orvanpush/storage/MessageProtocols.h"

namespace orvanpush {

/// A message's values (see MessageProtocol), each with its getter and setter.
class ORVANPUSH_EXPORT MessageImp : public MessageProtocol {
  public:
    std::optional<std::string> id() const override { return id_; }
    void setId(std::optional<std::string> id) { id_ = std::move(id); }
    std::optional<std::string> title() const override { return title_; }
    void setTitle(std::optional<std::string> title) { title_ = std::move(title); }
    std::optional<std::string> subtitle() const override { return subtitle_; }
    void setSubtitle(std::optional<std::string> subtitle) { subtitle_ = std::move(subtitle); }
    std::optional<std::string> body() const override { return body_; }
    void setBody(std::optional<std::string> body) { body_ = std::move(body); }
    std::optional<Date> messageDate() const override { return messageDate_; }
    void setMessageDate(std::optional<Date> messageDate) { messageDate_ = messageDate; }
    std::optional<std::string> statusName() const override { return statusName_; }
    void setStatusName(const std::optional<std::string>& statusName) override {
        statusName_ = statusName;
    }
    std::optional<Date> statusDate() const override { return statusDate_; }
    void setStatusDate(std::optional<Date> statusDate) { statusDate_ = statusDate; }
    std::optional<std::string> channelName() const override { return channelName_; }
    void setChannelName(const std::optional<std::string>& channelName) override {
        channelName_ = channelName;
    }
    bool contentAvailable() const override { return contentAvailable_; }
    void setContentAvailable(bool contentAvailable) { contentAvailable_ = contentAvailable; }

  private:
    std::optional<std::string> id_;
    std::optional<std::string> title_;
    std::optional<std::string> subtitle_;
    std::optional<std::string> body_;
    std::optional<Date> messageDate_;
    std::optional<std::string> statusName_;
    std::optional<Date> statusDate_;
    std::optional<std::string> channelName_;
    bool contentAvailable_ = false;
};

/// A status change without its message id (see MessageStatusProtocol).
class ORVANPUSH_EXPORT MessageStatusInternal : public MessageStatusProtocol {
  public:
    std::optional<std::string> statusName() const override { return statusName_; }
    void setStatusName(const std::optional<std::string>& statusName) override {
        statusName_ = statusName;
    }
    std::optional<Date> statusDate() const override { return statusDate_; }
    void setStatusDate(const std::optional<Date>& statusDate) override { statusDate_ = statusDate; }
    bool isSent() const override { return isSent_; }
    void setIsSent(bool isSent) override { isSent_ = isSent; }

  private:
    std::optional<std::string> statusName_;
    std::optional<Date> statusDate_;
    bool isSent_ = false;
};

/// A status with its message id: what the store lists as unsent.
class ORVANPUSH_EXPORT MessageStatusExternal : public MessageStatusExternalProtocol {
  public:
    std::optional<std::string> statusName() const override { return status_.statusName(); }
    void setStatusName(const std::optional<std::string>& statusName) override {
        status_.setStatusName(statusName);
    }
    std::optional<Date> statusDate() const override { return status_.statusDate(); }
    void setStatusDate(const std::optional<Date>& statusDate) override {
        status_.setStatusDate(statusDate);
    }
    bool isSent() const override { return status_.isSent(); }
    void setIsSent(bool isSent) override { status_.setIsSent(isSent); }
    std::optional<std::string> messageId() const override { return messageId_; }
    void setMessageId(const std::optional<std::string>& messageId) override {
        messageId_ = messageId;
    }

  private:
    MessageStatusInternal status_;
    std::optional<std::string> messageId_;
};

/// The same value, under the name the storage facade builds it by when it marks a report.
using MessageStatusExternalImp = MessageStatusExternal;

/// Rich content's values (see ExtraContentProtocol), each with its getter and setter.
class ORVANPUSH_EXPORT ExtraContentImp : public ExtraContentProtocol {
  public:
    std::optional<std::string> mimeType() const override { return mimeType_; }
    void setMimeType(std::optional<std::string> mimeType) { mimeType_ = std::move(mimeType); }
    std::optional<std::string> value() const override { return value_; }
    void setValue(std::optional<std::string> value) { value_ = std::move(value); }
    std::optional<std::string> messageId() const override { return messageId_; }
    void setMessageId(std::optional<std::string> messageId) { messageId_ = std::move(messageId); }

  private:
    std::optional<std::string> mimeType_;
    std::optional<std::string> value_;
    std::optional<std::string> messageId_;
};

/// Classifier data's values (see MessageAttributesProtocol), each with its getter and setter.
class ORVANPUSH_EXPORT MessageAttributesImp : public MessageAttributesProtocol {
  public:
    std::int16_t classifierdId() const override { return classifierdId_; }
    void setClassifierdId(std::int16_t classifierdId) { classifierdId_ = classifierdId; }
    std::optional<std::string> classifierName() const override { return classifierName_; }
    void setClassifierName(std::optional<std::string> classifierName) {
        classifierName_ = std::move(classifierName);
    }
    std::int16_t isImportant() const override { return isImportant_; }
    void setIsImportant(std::int16_t isImportant) { isImportant_ = isImportant; }
    std::optional<Date> messageDate() const override { return messageDate_; }
    void setMessageDate(std::optional<Date> messageDate) { messageDate_ = messageDate; }
    std::optional<std::string> messageId() const override { return messageId_; }
    void setMessageId(std::optional<std::string> messageId) { messageId_ = std::move(messageId); }

  private:
    std::int16_t classifierdId_ = 0;
    std::optional<std::string> classifierName_;
    std::int16_t isImportant_ = 0;
    std::optional<Date> messageDate_;
    std::optional<std::string> messageId_;
};

}  // namespace orvanpush
