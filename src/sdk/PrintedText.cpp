#include "sdk/PrintedText.h"

#include "orvanpush/logger/LogValue.h"

namespace orvanpush::detail {

std::string printedString(std::string_view text) {
    return quotedText(text);
}

}  // namespace orvanpush::detail
