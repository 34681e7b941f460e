#pragma once

// The error the public operations throw for a configuration or an argument they cannot use,
// before anything is sent.
//
//   try {
//       auto sdk = orvanpush::PushSDK::getInstance("myInstance");
//   } catch (const orvanpush::OrvanPushSDKError& error) {
//       if (error.kind() == orvanpush::OrvanPushSDKError::Kind::settingNotFound) { ... }
//   }

#include <exception>
#include <string>
#include "orvanpush/Export.h"

namespace orvanpush {

/// A case and the name it is about; thrown by value, caught by reference.
class ORVANPUSH_EXPORT OrvanPushSDKError : public std::exception {
  public:
    enum class Kind {
        settingNotFound,          ///< a mandatory setting is missing; payload: its key
        invalidParameter,         ///< a parameter has no usable value; payload: its name
        emptyMandatoryParameter,  ///< a mandatory text is absent or empty; payload: its name
        invalidUrl,               ///< declared for callers to match on; never raised
    };

    /// An error of case `kind` about `payload`.
    OrvanPushSDKError(Kind kind, std::string payload);

    /// The same, one factory per case.
    static OrvanPushSDKError settingNotFound(std::string key);
    static OrvanPushSDKError invalidParameter(std::string name);
    static OrvanPushSDKError emptyMandatoryParameter(std::string name);
    static OrvanPushSDKError invalidUrl(std::string text);

    /// The case.
    Kind kind() const noexcept { return kind_; }
    /// The settings key or parameter name the error is about.
    const std::string& payload() const noexcept { return payload_; }
    /// The case and its payload as log texts print them: `settingNotFound("serverLoginKey")`.
    const std::string& description() const noexcept { return description_; }
    /// The same text as description().
    const char* what() const noexcept override { return description_.c_str(); }

  private:
    Kind kind_;
    std::string payload_;
    std::string description_;
};

/// The case's name: "settingNotFound", "invalidParameter", "emptyMandatoryParameter" or
/// "invalidUrl".
ORVANPUSH_EXPORT std::string toString(OrvanPushSDKError::Kind kind);

}  // namespace orvanpush
