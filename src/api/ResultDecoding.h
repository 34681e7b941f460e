#pragma once

// How the push server's answers become result records. A body that cannot be decoded at all
// throws TextError (the transport turns it into code 600); an answer of the expected shape whose
// content is unusable becomes a code-602 record with one of the texts below. Bodies are parsed
// as foreign JSON (platform::ForeignJson): nested too deep or followed by other bytes, a body is
// not JSON.

#include "orvanpush/BaseApiResult.h"
#include "orvanpush/ContentDownloadResult.h"
#include "orvanpush/StatisticsResult.h"
#include "orvanpush/SubscriberGetResult.h"
#include "orvanpush/Types.h"

namespace orvanpush::detail {

inline constexpr int kLibraryErrorCode = 600;
inline constexpr int kUnusableAnswerCode = 602;

inline constexpr const char* kResultMissingText =
    "Invalid data in answer: property \"result\" not found";
inline constexpr const char* kListResultMissingText = "Invalid data in answer: result not found";
inline constexpr const char* kCodeMissingText =
    "Invalid data in answer: property \"errorCode\" not found";
inline constexpr const char* kUnknownResultPrefix = "Invalid data in answer: unknown result \"";

/// The answer as a JSON object. Throws TextError "The answer is not valid JSON" or "The answer is
/// not a JSON object".
Json parseObject(const Bytes& body);

/// An object with a string "result": success, the server's error, or 602. Throws TextError for
/// a body that is not a JSON object.
BaseApiResult decodeBaseApiResult(const Bytes& body);

/// An array of messages (success), else an object holding the server's error (or 602). Throws
/// TextError for a body that is neither.
StatisticsResult decodeStatisticsResult(const Bytes& body);

/// An array of subscriber records (success), else an object holding the server's error (or
/// 602). Throws TextError for a body that is neither.
SubscriberGetResult decodeSubscriberGetResult(const Bytes& body);

/// The server's error when the body is a JSON object with a string "result"; otherwise the body
/// is the content, when `statusCode` is a success (2xx). Any other status without an error object
/// throws TextError `Invalid response with status "NNN"`, so an error page never passes for
/// content.
ContentDownloadResult decodeContentDownloadResult(const Bytes& body, long statusCode);

}  // namespace orvanpush::detail
