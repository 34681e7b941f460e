#pragma once

#include <string>
#include <string_view>

namespace orvanpush::detail {

/// `text` as log texts print a string value: in double quotes, with backslash, both quote
/// characters, tab, line feed, carriage return and NUL escaped as \\ \" \' \t \n \r \0, and the
/// other control characters as \u{hex}. A printed value thus never breaks a log line.
std::string printedString(std::string_view text);

}  // namespace orvanpush::detail
