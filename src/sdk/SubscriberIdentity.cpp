#include "sdk/SubscriberIdentity.h"

#include "platform/SecKey.h"
#include "sdk/PushSDKState.h"
#include "security/Crypto.h"

namespace orvanpush::detail {

std::string addressFromSettings(const PushSDKState& state) {
    const auto& settings = *state.settingsUtils;
    return PushSDKState::makeAddress(settings.get(ClientSetting::DeviceId),
                                     settings.get(ClientSetting::ClientId));
}

std::string signWithDeviceKey(const PushSDKState& state, const std::string& text) {
    return signString(state.identifier, state.identifier + ".private",
                      platform::kSecKeyAlgorithmRSASignatureMessagePKCS1v15SHA1, text);
}

}  // namespace orvanpush::detail
