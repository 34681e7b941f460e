#include "orvanpush/SubscriberGetResult.h"

#include <utility>

namespace orvanpush {

SubscriberDataElement::SubscriberDataElement(std::string address, std::optional<std::string> osType,
                                             std::optional<std::string> osVersion,
                                             std::optional<Attributes> attributes)
    : address_(std::move(address)),
      osType_(std::move(osType)),
      osVersion_(std::move(osVersion)),
      attributes_(std::move(attributes)) {}

SubscriberGetResult::SubscriberGetResult(ResultKind resultKind, std::int64_t errorCode,
                                         std::optional<std::string> errorDescription,
                                         std::optional<std::vector<SubscriberDataElement>> elements)
    : BaseApiResult(resultKind, errorCode, std::move(errorDescription)),
      elements_(std::move(elements)) {}

}  // namespace orvanpush
