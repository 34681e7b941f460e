#pragma once

// What a notification shows, as the system hands it to the extension: texts, the sound and the
// payload. The extension shows a changed copy:
//
//   auto content = orvanpush::NotificationContent::fromPayload(payload);
//   orvanpush::MutableNotificationContent shown(content);
//   shown.setSound(std::nullopt);   // silent
//
// A text the payload does not give is empty, never missing.

#include <optional>
#include <string>
#include "orvanpush/Export.h"

#include "orvanpush/Types.h"

namespace orvanpush {

/// A notification's content as delivered; a plain value, copyable and comparable.
class ORVANPUSH_EXPORT NotificationContent {
  public:
    /// The sound name that plays the system's default sound.
    static constexpr const char* kDefaultSound = "default";

    /// Empty texts, no sound, an empty payload.
    NotificationContent() = default;

    /// The content of a push payload, as the system builds it: `"aps"."alert"` gives the title,
    /// subtitle and body (an alert that is a string is the body), `"aps"."sound"` the sound (a
    /// name, or the "name" member of a sound object), and the whole payload is the user info.
    /// Members of another type are ignored; a payload that is not an object gives an empty
    /// content.
    static NotificationContent fromPayload(const Json& payload);

    /// The texts shown: title, subtitle and body (each empty when the payload gives none).
    const std::string& title() const { return title_; }
    const std::string& subtitle() const { return subtitle_; }
    const std::string& body() const { return body_; }
    /// The payload: the library reads "message-id" and "custom-data" from it.
    const Json& userInfo() const { return userInfo_; }
    /// The name of the sound played with the notification; absent for none.
    const std::optional<std::string>& sound() const { return sound_; }

    /// Equal when every member is.
    bool operator==(const NotificationContent&) const = default;

  protected:
    std::string title_;
    std::string subtitle_;
    std::string body_;
    Json userInfo_ = Json::object();
    std::optional<std::string> sound_;
};

/// A content whose every member can be changed: the copy an extension changes and shows.
class ORVANPUSH_EXPORT MutableNotificationContent : public NotificationContent {
  public:
    /// Empty texts, no sound, an empty payload.
    MutableNotificationContent() = default;
    /// A copy of `content`.
    explicit MutableNotificationContent(const NotificationContent& content)
        : NotificationContent(content) {}

    /// Replace the texts and the payload.
    void setTitle(std::string title) { title_ = std::move(title); }
    void setSubtitle(std::string subtitle) { subtitle_ = std::move(subtitle); }
    void setBody(std::string body) { body_ = std::move(body); }
    void setUserInfo(Json userInfo) { userInfo_ = std::move(userInfo); }
    /// Absent silences the notification.
    void setSound(std::optional<std::string> sound) { sound_ = std::move(sound); }
};

}  // namespace orvanpush
