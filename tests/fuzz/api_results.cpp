// Every decoding of a server's answer on arbitrary bytes: the push server's result records of
// each endpoint, the content record at a success and an error status, the rich content made of
// a content answer, and the log server's answer to an upload. A body either decodes or throws
// TextError (which the transport hands on as code 600); a success carries code 0 and no
// description, a code-602 record one of the fixed texts.

#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "api/ResultDecoding.h"
#include "api/UploadLogsResult.h"
#include "orvanpush/TextError.h"
#include "utils/ContentConverter.h"

using namespace orvanpush;
using namespace orvanpush::detail;

namespace {

using fuzz::require;

bool isFixedUnusableText(const std::string& text) {
    return text == kResultMissingText || text == kListResultMissingText ||
           text == kCodeMissingText || text.starts_with(kUnknownResultPrefix);
}

void check(const BaseApiResult& result) {
    if (result.getResultKind() == ResultKind::success) {
        require(result.getErrorCode() == 0 && !result.getErrorDescription());
    } else if (result.getErrorCode() == kUnusableAnswerCode) {
        require(isFixedUnusableText(result.getErrorDescription().value_or("")));
    }
}

// The record `decode` makes of the body, checked; a refusal must be a TextError.
template <typename Decode>
void decoded(Decode decode) {
    try {
        check(decode());
    } catch (const TextError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Bytes body(data, data + size);
    decoded([&] { return decodeBaseApiResult(body); });
    decoded([&] { return decodeStatisticsResult(body); });
    decoded([&] { return decodeSubscriberGetResult(body); });
    for (const long status : {200L, 404L}) {
        decoded([&] {
            const auto result = decodeContentDownloadResult(body, status);
            require(result.getResultKind() == ResultKind::error || result.getContent() == body);
            return BaseApiResult(result);
        });
    }
    if (const auto content = ContentConverter::extraContent("m1", body)) {
        require(content->messageId() == "m1");
    }
    try {
        UploadLogsResult::decode(body);
    } catch (const TextError&) {
    }
    return 0;
}
