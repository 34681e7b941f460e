// The date parsers of foreign text on arbitrary input: the "sentDate" of a push's custom data
// (ICU, "yyyy-MM-dd'T'HH:mm:ss" in GMT) and the ISO 8601 dates of the reference server's history
// query. Where both read a text they must agree on the moment it names.

#include <chrono>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "push-server/QueryDate.h"
#include "storage/CustomData.h"

using namespace orvanpush;

namespace {

constexpr double kReferenceDateFromUnixEpoch = 978'307'200;  // 2001-01-01T00:00:00Z

// Both read the proleptic Gregorian calendar only from its introduction on: before 1582, ICU's
// calendar is Julian.
bool bothGregorian(const std::string& text) {
    return text.size() >= 4 && text.compare(0, 4, "1583") >= 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto sent = detail::CustomData::sentDate(text);
    const auto queried = server::parseQueryDate(text + "Z");
    server::parseQueryDate(text);
    if (sent && bothGregorian(text)) {
        // Whole seconds: a Date's nanoseconds do not all fit a double.
        const auto seconds =
            std::chrono::duration_cast<std::chrono::seconds>(sent->time_since_epoch()).count();
        fuzz::require(queried &&
                      *queried == static_cast<double>(seconds) - kReferenceDateFromUnixEpoch);
    }
    return 0;
}
