#pragma once

// Dates of the history query: "yyyy-MM-dd'T'HH:mm:ss" and an offset written as "Z", "+hh:mm" or
// "+hh:mm:ss", in ASCII digits (a client formatting in another calendar or numbering system
// would send a wrong date, so such texts are refused).

#include <optional>
#include <string_view>

namespace orvanpush::server {

/// Seconds since 2001-01-01 00:00:00 UTC (the reference the history answer uses), or nothing when
/// the text is not such a date.
std::optional<double> parseQueryDate(std::string_view text);

}  // namespace orvanpush::server
