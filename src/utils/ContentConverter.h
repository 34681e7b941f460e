#pragma once

// The rich content of a message from the body of its content-download answer:
//
//   std::optional<ExtraContentImp> content = ContentConverter::extraContent("m1", answerBody);
//   // {"contentType":"text/html","content":"<b>Hi</b>"}: mime type "text/html", value "<b>Hi</b>"

#include <optional>
#include <string>

#include "orvanpush/Types.h"
#include "orvanpush/storage/MessageValues.h"

namespace orvanpush::detail {

class ContentConverter {
  public:
    /// The content of message `messageId`: the JSON object's "contentType" text as the mime
    /// type and its "content" text as the value (a member that is missing or null stays
    /// absent). Nothing without data, for bytes that are not JSON (platform::ForeignJson), for
    /// another top level than an object, or when either member holds something else than text:
    /// such an answer is not content, and must not be kept as if it were.
    static std::optional<ExtraContentImp> extraContent(const std::string& messageId,
                                                       const std::optional<Bytes>& data);
};

}  // namespace orvanpush::detail
