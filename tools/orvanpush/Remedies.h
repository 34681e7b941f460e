#pragma once

// The tool's sentences for what went wrong: each says what happened and what to run next, in
// the words of the command the person typed. The library's errors keep their cases and codes;
// only what is shown for them is made here.
//
//   Situation situation{"whoami", "shop", "/home/h"};
//   remedyForThrown(OrvanPushSDKError::settingNotFound("protocolTypeKey"), situation);
//   // "instance 'shop' is not configured in /home/h: run `orvanpush init --id shop ...`"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "orvanpush/OrvanPushSDKError.h"

namespace orvanpush::cli {

/// What the person asked for, as far as the sentences need it.
struct Situation {
    std::string command;                    ///< the command given ("whoami"); empty for none
    std::optional<std::string> instanceId;  ///< its --id, when it has one
    std::string home;                       ///< the home in use; empty before it is known
};

/// The command that configures instance `id`, in backquotes, with `moreOptions` (" --log-server
/// URL") after the ones every instance needs; the password comes from a file, off the command
/// line.
std::string initCommandFor(const std::string& id, const std::string& moreOptions = "");

/// The sentence for an error the library threw before anything was sent.
std::string remedyForThrown(const OrvanPushSDKError& error, const Situation& situation);

/// The sentence for an error result: `code` and `description` as the result record has them.
std::string remedyForResult(std::int64_t code, const std::optional<std::string>& description,
                            const Situation& situation);

/// The known names nearest to `typed` (a typo's edit distance, at most a third of the name's
/// length and at least 1): one or several at the same distance, none when nothing is near.
std::vector<std::string> nearestNames(const std::string& typed,
                                      const std::vector<std::string>& known);

/// "did you mean 'a'?" or "did you mean 'a' or 'b'?"; empty without candidates.
std::string didYouMean(const std::vector<std::string>& candidates);

}  // namespace orvanpush::cli
