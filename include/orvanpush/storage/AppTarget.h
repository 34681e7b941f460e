#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include "orvanpush/Export.h"

namespace orvanpush {

/// Which process the library runs in: the host application or its notification-service
/// extension (a bundle path ending in ".appex").
enum class AppTarget { application, extension };

/// Every case, in declaration order.
inline constexpr std::array<AppTarget, 2> allAppTargets{AppTarget::application,
                                                        AppTarget::extension};

/// "application" or "extension".
ORVANPUSH_EXPORT std::string toString(AppTarget target);
/// The case with exactly that raw value; nothing for any other text.
ORVANPUSH_EXPORT std::optional<AppTarget> appTargetFromRawValue(std::string_view rawValue);
/// The target of this process, from the platform configuration's bundle path.
ORVANPUSH_EXPORT AppTarget currentAppTarget();

}  // namespace orvanpush
