#include "orvanpush/logger/LogConfiguration.h"

namespace orvanpush {

const std::optional<LogConfigurations>& LogConfiguration::configurations() const {
    static const std::optional<LogConfigurations> none;
    return none;
}

}  // namespace orvanpush
