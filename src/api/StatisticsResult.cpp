#include "orvanpush/StatisticsResult.h"

#include <utility>

namespace orvanpush {

MessageElement::MessageElement(std::string messageId, Date date, std::optional<std::string> title,
                               std::optional<std::string> text)
    : messageId_(std::move(messageId)),
      date_(date),
      title_(std::move(title)),
      text_(std::move(text)) {}

StatisticsResult::StatisticsResult(ResultKind resultKind, std::int64_t errorCode,
                                   std::optional<std::string> errorDescription,
                                   std::optional<std::vector<MessageElement>> messages)
    : BaseApiResult(resultKind, errorCode, std::move(errorDescription)),
      messages_(std::move(messages)) {}

}  // namespace orvanpush
