#pragma once

// The log files and log upload of one instance. This is the seam through which the instance's
// push-server client reaches them; the upload itself lives here as well.

#include <memory>
#include <string>

#include "utils/SettingsUtils.h"

namespace orvanpush::detail {

class LoggingUtils {
  public:
    LoggingUtils(std::string identifier, std::shared_ptr<SettingsUtils> settingsUtils);

    /// The instance identifier.
    const std::string& identifier() const { return identifier_; }
    /// The instance's settings store (may be null for a store that could not be opened).
    const std::shared_ptr<SettingsUtils>& settingsUtils() const { return settingsUtils_; }

  private:
    std::string identifier_;
    std::shared_ptr<SettingsUtils> settingsUtils_;
};

}  // namespace orvanpush::detail
