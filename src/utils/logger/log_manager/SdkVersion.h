#pragma once

#include <string>

#include "orvanpush/BuildInfo.h"

namespace orvanpush::detail {

/// The library's version string: the short version, ".", the build number ("1.0.1").
inline std::string sdkVersion() {
    return std::string(kShortVersion) + "." + kBuildNumber;
}

}  // namespace orvanpush::detail
