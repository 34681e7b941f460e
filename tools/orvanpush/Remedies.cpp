#include "Remedies.h"

#include <algorithm>
#include <map>
#include <numeric>

#include "orvanpush/platform/PlatformConfig.h"
#include "platform/UrlSession.h"

namespace orvanpush::cli {
namespace {

using Kind = OrvanPushSDKError::Kind;

// The code of a request that failed before any server answered (transport or building).
constexpr std::int64_t kNotAnswered = 600;
// The push server's code for an address it has no subscription of.
constexpr std::int64_t kSubscriberNotFound = 104;

std::string idOf(const Situation& situation) {
    return situation.instanceId.value_or("ID");
}

std::string inHome(const Situation& situation) {
    return situation.home.empty() ? "" : " in " + situation.home;
}

std::string initCommand(const Situation& situation) {
    return initCommandFor(idOf(situation));
}

std::string subscribeCommand(const Situation& situation) {
    return "`orvanpush subscribe --id " + idOf(situation) + " --client-id C --token T`";
}

// What each settings key an instance needs holds, for a person.
std::string settingMeaning(const std::string& key) {
    static const std::map<std::string, std::string> meanings{
        {"serverAddressKey", "push server address"}, {"serverPortKey", "push server port"},
        {"serverLoginKey", "push server login"},     {"serverPasswordKey", "push server password"},
        {"sharedAppGroup", "shared group"},
    };
    const auto found = meanings.find(key);
    return found == meanings.end() ? key : found->second + " (" + key + ")";
}

std::string settingNotFound(const std::string& key, const Situation& situation) {
    if (key == "protocolTypeKey") {
        // The first setting an instance reads: nothing of the instance is saved.
        return "instance '" + idOf(situation) + "' is not configured" + inHome(situation) +
               ": run " + initCommand(situation);
    }
    return "instance '" + idOf(situation) + "'" + inHome(situation) + " has no " +
           settingMeaning(key) + " saved: run " + initCommand(situation) + " again";
}

std::string emptyParameter(const std::string& name, const Situation& situation) {
    const bool subscribing = situation.command == "subscribe";
    if (name == "address") {
        return subscribing
                   ? "the client id is empty: give a non-empty --client-id"
                   : "this device is not subscribed (no client id is saved for instance '" +
                         idOf(situation) + "'): run " + subscribeCommand(situation) + " first";
    }
    if (name == "token") {
        return subscribing || situation.command == "update-token"
                   ? "the push token is empty: give a non-empty --token"
                   : "no push token is saved for instance '" + idOf(situation) + "': run " +
                         subscribeCommand(situation) + " first";
    }
    if (name == "messageId") {
        return "the message id is empty: give a non-empty --message-id (a payload needs a "
               "\"message-id\")";
    }
    return "the value of " + name + " is empty: give one";
}

// Insertions, deletions, substitutions and swaps of neighbours that turn `a` into `b`.
std::size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) {
        d[i][0] = i;
    }
    std::iota(d[0].begin(), d[0].end(), 0);
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1,
                                d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[a.size()][b.size()];
}

}  // namespace

std::string initCommandFor(const std::string& id, const std::string& moreOptions) {
    return "`orvanpush init --id " + id + " --server URL --login L --password-file FILE" +
           moreOptions + "`";
}

std::string remedyForThrown(const OrvanPushSDKError& error, const Situation& situation) {
    switch (error.kind()) {
        case Kind::settingNotFound:
            return settingNotFound(error.payload(), situation);
        case Kind::emptyMandatoryParameter:
            return emptyParameter(error.payload(), situation);
        case Kind::invalidParameter:
            return "the value of " + error.payload() + " cannot be used: give another one";
        case Kind::invalidUrl:
            return "the address " + error.payload() +
                   " is not a URL: give scheme://host[:port][/context]";
    }
    return error.description();
}

std::string remedyForResult(std::int64_t code, const std::optional<std::string>& description,
                            const Situation& situation) {
    const std::string reason = description.value_or("no description");
    if (code == kNotAnswered && reason == platform::kResponseTooLargeText) {
        return "the server's answer is longer than this tool takes (" + reason +
               "): if it should be that long, allow more with the environment variable "
               "ORVANPUSH_MAX_RESPONSE_BYTES (a number of bytes; " +
               std::to_string(platform::PlatformConfig::kDefaultMaxResponseBytes) +
               " when unset) and run the command again";
    }
    if (code == kNotAnswered) {
        return "the request got no answer from the server (" + reason +
               "): check that the server saved by `orvanpush init --id " + idOf(situation) +
               "` is running and reachable, and run the command again";
    }
    if (code == kSubscriberNotFound) {
        return "the server does not know this device (error 104: " + reason + "): run " +
               subscribeCommand(situation) + " again";
    }
    return "the server answered error " + std::to_string(code) + " (" + reason +
           "): fix what it names and run the command again";
}

std::vector<std::string> nearestNames(const std::string& typed,
                                      const std::vector<std::string>& known) {
    const std::size_t allowed = std::max<std::size_t>(1, typed.size() / 3);
    std::size_t best = allowed + 1;
    std::vector<std::string> nearest;
    for (const auto& name : known) {
        const auto distance = editDistance(typed, name);
        if (distance < best) {
            best = distance;
            nearest.clear();
        }
        if (distance == best) {
            nearest.push_back(name);
        }
    }
    return nearest;
}

std::string didYouMean(const std::vector<std::string>& candidates) {
    if (candidates.empty()) {
        return {};
    }
    std::string text = "did you mean";
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        text += (i == 0 ? " '" : " or '") + candidates[i] + "'";
    }
    return text + "?";
}

}  // namespace orvanpush::cli
