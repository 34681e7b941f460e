#include "utils/LoggingUtils.h"

#include <utility>

namespace orvanpush::detail {

LoggingUtils::LoggingUtils(std::string identifier, std::shared_ptr<SettingsUtils> settingsUtils)
    : identifier_(std::move(identifier)), settingsUtils_(std::move(settingsUtils)) {}

}  // namespace orvanpush::detail
