#include "utils/DeviceInfoUtil.h"

#include <algorithm>
#include <array>
#include <utility>

#include "orvanpush/platform/PlatformConfig.h"
#include "platform/ProcessInfo.h"
#include "utils/logger/log_manager/SdkLog.h"

namespace orvanpush::detail {
namespace {

struct Model {
    std::string_view identifier;
    std::string_view name;
};

constexpr std::array kModels = std::to_array<Model>({
    {"AudioAccessory1,1", "HomePod"},
    {"AudioAccessory1,2", "HomePod"},
    {"iPad1,1", "iPad"},
    {"iPad2,1", "iPad 2"},
    {"iPad2,2", "iPad 2"},
    {"iPad2,3", "iPad 2"},
    {"iPad2,4", "iPad 2"},
    {"iPad2,5", "iPad mini"},
    {"iPad2,6", "iPad mini"},
    {"iPad2,7", "iPad mini"},
    {"iPad3,1", "iPad (3rd generation)"},
    {"iPad3,2", "iPad (3rd generation)"},
    {"iPad3,3", "iPad (3rd generation)"},
    {"iPad3,4", "iPad (4th generation)"},
    {"iPad3,5", "iPad (4th generation)"},
    {"iPad3,6", "iPad (4th generation)"},
    {"iPad4,1", "iPad Air"},
    {"iPad4,2", "iPad Air"},
    {"iPad4,3", "iPad Air"},
    {"iPad4,4", "iPad mini 2"},
    {"iPad4,5", "iPad mini 2"},
    {"iPad4,6", "iPad mini 2"},
    {"iPad4,7", "iPad mini 3"},
    {"iPad4,8", "iPad mini 3"},
    {"iPad4,9", "iPad mini 3"},
    {"iPad5,1", "iPad mini 4"},
    {"iPad5,2", "iPad mini 4"},
    {"iPad5,3", "iPad Air 2"},
    {"iPad5,4", "iPad Air 2"},
    {"iPad6,3", "iPad Pro (9.7-inch)"},
    {"iPad6,4", "iPad Pro (9.7-inch)"},
    {"iPad6,7", "iPad Pro (12.9-inch)"},
    {"iPad6,8", "iPad Pro (12.9-inch)"},
    {"iPad6,11", "iPad (5th generation)"},
    {"iPad6,12", "iPad (5th generation)"},
    {"iPad7,1", "iPad Pro (12.9-inch) (2nd generation)"},
    {"iPad7,2", "iPad Pro (12.9-inch) (2nd generation)"},
    {"iPad7,3", "iPad Pro (10.5-inch)"},
    {"iPad7,4", "iPad Pro (10.5-inch)"},
    {"iPad7,5", "iPad (6th generation)"},
    {"iPad7,6", "iPad (6th generation)"},
    {"iPad7,11", "iPad (7th generation)"},
    {"iPad7,12", "iPad (7th generation)"},
    {"iPad8,1", "iPad Pro (11-inch)"},
    {"iPad8,2", "iPad Pro (11-inch)"},
    {"iPad8,3", "iPad Pro (11-inch)"},
    {"iPad8,4", "iPad Pro (11-inch)"},
    {"iPad8,5", "iPad Pro (12.9-inch) (3rd generation)"},
    {"iPad8,6", "iPad Pro (12.9-inch) (3rd generation)"},
    {"iPad8,7", "iPad Pro (12.9-inch) (3rd generation)"},
    {"iPad8,8", "iPad Pro (12.9-inch) (3rd generation)"},
    {"iPad8,9", "iPad Pro (11-inch) (2nd generation)"},
    {"iPad8,10", "iPad Pro (11-inch) (2nd generation)"},
    {"iPad8,11", "iPad Pro (12.9-inch) (4th generation)"},
    {"iPad8,12", "iPad Pro (12.9-inch) (4th generation)"},
    {"iPad11,1", "iPad mini (5th generation)"},
    {"iPad11,2", "iPad mini (5th generation)"},
    {"iPad11,3", "iPad Air (3rd generation)"},
    {"iPad11,4", "iPad Air (3rd generation)"},
    {"iPad11,6", "iPad (8th generation)"},
    {"iPad11,7", "iPad (8th generation)"},
    {"iPad13,1", "iPad Air (4th generation)"},
    {"iPad13,2", "iPad Air (4th generation)"},
    {"iPhone1,1", "iPhone"},
    {"iPhone1,2", "iPhone 3G"},
    {"iPhone2,1", "iPhone 3GS"},
    {"iPhone3,1", "iPhone 4"},
    {"iPhone3,2", "iPhone 4"},
    {"iPhone3,3", "iPhone 4"},
    {"iPhone4,1", "iPhone 4S"},
    {"iPhone5,1", "iPhone 5"},
    {"iPhone5,2", "iPhone 5"},
    {"iPhone5,3", "iPhone 5c"},
    {"iPhone5,4", "iPhone 5c"},
    {"iPhone6,1", "iPhone 5s"},
    {"iPhone6,2", "iPhone 5s"},
    {"iPhone7,1", "iPhone 6 Plus"},
    {"iPhone7,2", "iPhone 6"},
    {"iPhone8,1", "iPhone 6s"},
    {"iPhone8,2", "iPhone 6s Plus"},
    {"iPhone8,4", "iPhone SE (1st generation)"},
    {"iPhone9,1", "iPhone 7"},
    {"iPhone9,3", "iPhone 7"},
    {"iPhone9,2", "iPhone 7 Plus"},
    {"iPhone9,4", "iPhone 7 Plus"},
    {"iPhone10,1", "iPhone 8"},
    {"iPhone10,4", "iPhone 8"},
    {"iPhone10,2", "iPhone 8 Plus"},
    {"iPhone10,5", "iPhone 8 Plus"},
    {"iPhone10,3", "iPhone X"},
    {"iPhone10,6", "iPhone X"},
    {"iPhone11,2", "iPhone XS"},
    {"iPhone11,4", "iPhone XS Max"},
    {"iPhone11,6", "iPhone XS Max"},
    {"iPhone11,8", "iPhone XR"},
    {"iPhone12,1", "iPhone 11"},
    {"iPhone12,3", "iPhone 11 Pro"},
    {"iPhone12,5", "iPhone 11 Pro Max"},
    {"iPhone12,8", "iPhone SE (2nd generation)"},
    {"iPhone13,1", "iPhone 12 mini"},
    {"iPhone13,2", "iPhone 12"},
    {"iPhone13,3", "iPhone 12 Pro"},
    {"iPhone13,4", "iPhone 12 Pro Max"},
    {"iPod1,1", "iPod touch"},
    {"iPod2,1", "iPod touch (2nd generation)"},
    {"iPod3,1", "iPod touch (3rd generation)"},
    {"iPod4,1", "iPod touch (4th generation)"},
    {"iPod5,1", "iPod touch (5th generation)"},
    {"iPod7,1", "iPod touch (6th generation)"},
    {"iPod9,1", "iPod touch (7th generation)"},
});

bool isSimulator(std::string_view identifier) {
    return identifier == "i386" || identifier == "x86_64";
}

std::string computeModelName() {
    // The identifier ends at its first NUL, as the machine field of uname does.
    const std::string& hardwareModel = platform::PlatformConfig::current()->hardwareModel;
    std::string name = DeviceInfoUtil::mapToDevice(hardwareModel.c_str());
    SdkLog::message(LogSeverity::info, LoggerModule::sdk, "Device is Apple " + name);
    return name;
}

}  // namespace

const std::string& DeviceInfoUtil::modelName() {
    static const std::string name = computeModelName();
    return name;
}

std::string DeviceInfoUtil::mapToDevice(std::string_view identifier) {
    if (isSimulator(identifier)) {
        const auto simulated = platform::ProcessInfo::environment("SIMULATOR_MODEL_IDENTIFIER");
        // A model naming a simulator again is kept as it is: mapping it would never end.
        const std::string model = simulated.value_or("iOS");
        return "Simulator " + (isSimulator(model) ? model : mapToDevice(model));
    }
    const auto found = std::find_if(kModels.begin(), kModels.end(), [&](const Model& model) {
        return model.identifier == identifier;
    });
    return std::string(found == kModels.end() ? identifier : found->name);
}

}  // namespace orvanpush::detail
