#include "sdk/SubscriberIdentity.h"

#include <exception>
#include <string>

#include "orvanpush/TextError.h"
#include "platform/SecItem.h"

namespace orvanpush::detail {

SubscriberIds SubscriberIds::read(const SettingsUtils& settings) {
    return {settings.get(ClientSetting::DeviceId), settings.get(ClientSetting::ClientId)};
}

bool changeIdentityIfUnchanged(const SettingsUtils& settings, const SubscriberIds& recorded,
                               const std::function<void()>& change) {
    bool changed = false;
    std::exception_ptr failure;
    const auto status = platform::SecItemTransaction([&] {
        try {
            if (SubscriberIds::read(settings) == recorded) {
                change();
                changed = true;
            }
            return platform::errSecSuccess;
        } catch (...) {
            failure = std::current_exception();
            return platform::errSecIO;  // undoes the keychain calls of `change`
        }
    });
    if (failure) {
        std::rethrow_exception(failure);
    }
    if (status != platform::errSecSuccess) {
        throw TextError("Keychain transaction error. OSStatus: " + std::to_string(status));
    }
    return changed;
}

}  // namespace orvanpush::detail
