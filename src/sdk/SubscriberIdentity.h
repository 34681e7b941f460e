#pragma once

// Who a request speaks for: the subscriber address from the settings and the signature of the
// device key, as the reports and the content download make them.

#include <string>

namespace orvanpush::detail {

struct PushSDKState;

/// makeAddress of the settings' device id and client id. Throws OrvanPushSDKError
/// emptyMandatoryParameter "address" without a client id, TextError when the settings fail.
std::string addressFromSettings(const PushSDKState& state);

/// The Base64 signature of `text` by the instance's private key. Throws signString's errors
/// (no key, an unreadable key).
std::string signWithDeviceKey(const PushSDKState& state, const std::string& text);

}  // namespace orvanpush::detail
