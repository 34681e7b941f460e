#pragma once

#include "orvanpush/Types.h"
#include "platform/DateFormatter.h"

namespace orvanpush::detail {

/// The formatter of dates sent to the push server, "yyyy-MM-dd'T'HH:mm:ssXXXXX"
/// (2024-03-01T12:00:00+03:00, or Z at UTC), in the device's time zone and always in the
/// en_US_POSIX locale: Gregorian years and Latin digits whatever the device's language.
const platform::DateFormatter& apiDateFormatter();

}  // namespace orvanpush::detail
