#include "orvanpush/storage/AppTarget.h"

#include "orvanpush/platform/PlatformConfig.h"

namespace orvanpush {

std::string toString(AppTarget target) {
    return target == AppTarget::extension ? "extension" : "application";
}

std::optional<AppTarget> appTargetFromRawValue(std::string_view rawValue) {
    for (auto target : allAppTargets) {
        if (toString(target) == rawValue) {
            return target;
        }
    }
    return std::nullopt;
}

AppTarget currentAppTarget() {
    return platform::PlatformConfig::current()->isExtension() ? AppTarget::extension
                                                              : AppTarget::application;
}

}  // namespace orvanpush
