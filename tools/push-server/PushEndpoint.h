#pragma once

// The seven push endpoints as the server knows them: method, path, where the members travel,
// which members there are, whether "push-enabled" comes along, what the signature signs, and
// what a request does once every check has passed.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "Exchange.h"
#include "ServerState.h"

namespace orvanpush::server {

enum class Carrier { body, query };
enum class MemberType { string, stringMap };
/// `optional`: an empty signature is accepted (a status report made for a fall-back address).
enum class Signing { none, required, optional };

struct MemberRule {
    std::string_view name;
    bool required = true;
    MemberType type = MemberType::string;
};

struct PushEndpoint {
    std::string_view name;  // also the path below the context: "subscriber/get"
    std::string_view method;
    Carrier carrier;
    std::vector<MemberRule> members;
    bool carriesPushEnabled;
    Signing signing;
    /// Checks the members' values beyond their types; an empty text when they are fine.
    std::function<std::string(const Json& members)> validate;
    /// The text the signature signs, rebuilt from the members received.
    std::function<std::string(const Json& members)> signedText;
    /// Carries the request out (the state is locked) and returns the answer.
    std::function<Reply(StateData& state, const Json& members, const IncomingRequest& request)>
        apply;
};

/// The seven endpoints.
const std::vector<PushEndpoint>& pushEndpoints();

/// A push error envelope: {"result":"error","errorCode":code,"errorDescription":description}.
Reply pushError(int httpStatus, std::int64_t code, const std::string& description);

/// The push server's own error codes (104 is the one the client knows: subscriber not found).
namespace errorCode {
inline constexpr int subscriberNotFound = 104;
inline constexpr int authorization = 110;
inline constexpr int contentType = 111;
inline constexpr int requestId = 112;
inline constexpr int pushEnabled = 113;
inline constexpr int members = 114;
inline constexpr int signature = 115;
inline constexpr int contentNotFound = 116;
inline constexpr int methodNotAllowed = 117;
inline constexpr int unknownPath = 118;
}  // namespace errorCode

}  // namespace orvanpush::server
