#pragma once

// What device the library runs on, as the push server is told: "Apple " + modelName().

#include <string>
#include <string_view>

namespace orvanpush::detail {

class DeviceInfoUtil {
  public:
    /// The marketing name of this device: mapToDevice of the platform's hardware model,
    /// computed and logged ("Device is Apple <name>") on first use, then kept for the process.
    static const std::string& modelName();

    /// The maker's product name of a hardware model identifier ("iPhone12,1" gives
    /// "iPhone 11"); an unknown identifier comes back unchanged. For a simulator ("i386",
    /// "x86_64"): "Simulator " + the name of $SIMULATOR_MODEL_IDENTIFIER, else "Simulator iOS".
    static std::string mapToDevice(std::string_view identifier);
};

}  // namespace orvanpush::detail
