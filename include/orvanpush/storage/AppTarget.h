#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace orvanpush {

/// Which process the library runs in: the host application or its notification-service
/// extension (a bundle path ending in ".appex").
enum class AppTarget { application, extension };

/// Every case, in declaration order.
inline constexpr std::array<AppTarget, 2> allAppTargets{AppTarget::application,
                                                        AppTarget::extension};

/// "application" or "extension".
std::string toString(AppTarget target);
/// The case with exactly that raw value; nothing for any other text.
std::optional<AppTarget> appTargetFromRawValue(std::string_view rawValue);
/// The target of this process, from the platform configuration's bundle path.
AppTarget currentAppTarget();

}  // namespace orvanpush
