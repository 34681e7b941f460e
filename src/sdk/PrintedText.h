#pragma once

#include <string>
#include <string_view>

namespace orvanpush::detail {

/// `text` as log texts print a string value: quoted and escaped as a logged string value is
/// (see quotedText in LogValue.h), so a printed value never breaks a log line.
std::string printedString(std::string_view text);

}  // namespace orvanpush::detail
