#include "api/ApiDateFormatter.h"

namespace orvanpush::detail {

const platform::DateFormatter& apiDateFormatter() {
    static const platform::DateFormatter formatter("yyyy-MM-dd'T'HH:mm:ssXXXXX", "", "en_US_POSIX");
    return formatter;
}

}  // namespace orvanpush::detail
