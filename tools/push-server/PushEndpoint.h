#pragma once

// The seven push endpoints as the server knows them: method, path, where the members travel,
// which members there are, whether "push-enabled" comes along, what the signature signs, and
// what a request does once every check has passed.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "Exchange.h"
#include "Refusal.h"
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

/// A push error envelope: {"result":"error","errorCode":code,"errorDescription":description},
/// sent with the refusal's status.
Reply pushError(const Refusal& refusal, const std::string& description);

/// The push endpoints' refusals, each with its status and code (104 is the one the client knows:
/// subscriber not found).
namespace refusal {
inline constexpr Refusal subscriberNotFound{404, 104};
inline constexpr Refusal authorization{401, 110};
inline constexpr Refusal contentType{415, 111};
inline constexpr Refusal requestId{400, 112};
inline constexpr Refusal pushEnabled{400, 113};
inline constexpr Refusal members{400, 114};
inline constexpr Refusal signature{403, 115};
inline constexpr Refusal contentNotFound{404, 116};
inline constexpr Refusal methodNotAllowed{405, 117};
inline constexpr Refusal unknownPath{404, 118};
}  // namespace refusal

}  // namespace orvanpush::server
