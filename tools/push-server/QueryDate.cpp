#include "QueryDate.h"

#include <chrono>
#include <regex>
#include <string>

namespace orvanpush::server {
namespace {

constexpr double referenceDateFromUnixEpoch = 978'307'200;  // 2001-01-01T00:00:00Z
constexpr std::string_view kLongestDate = "999999-12-31T23:59:59+23:59:59";

int number(const std::smatch& match, std::size_t group) {
    return match[group].matched ? std::stoi(match[group].str()) : 0;
}

}  // namespace

std::optional<double> parseQueryDate(std::string_view text) {
    static const std::regex pattern(
        R"((\d{4,})-(\d{2})-(\d{2})T(\d{2}):(\d{2}):(\d{2})(?:Z|([+-])(\d{2}):(\d{2})(?::(\d{2}))?))");
    // The longest date read has a six-digit year: a longer text is refused before the
    // matcher, whose recursion grows with the text.
    if (text.size() > kLongestDate.size()) {
        return std::nullopt;
    }
    const std::string subject(text);
    std::smatch match;
    if (!std::regex_match(subject, match, pattern) || match[1].length() > 6) {
        return std::nullopt;
    }
    using namespace std::chrono;
    // Beyond the calendar's years the year would wrap round to another one.
    if (number(match, 1) > static_cast<int>(year::max())) {
        return std::nullopt;
    }
    const year_month_day date{year{number(match, 1)},
                              month{static_cast<unsigned>(number(match, 2))},
                              day{static_cast<unsigned>(number(match, 3))}};
    const int hours = number(match, 4);
    const int minutes = number(match, 5);
    const int seconds = number(match, 6);
    const int offsetHours = number(match, 8);
    const int offsetMinutes = number(match, 9);
    const int offsetSeconds = number(match, 10);
    if (!date.ok() || hours > 23 || minutes > 59 || seconds > 59 || offsetHours > 23 ||
        offsetMinutes > 59 || offsetSeconds > 59) {
        return std::nullopt;
    }
    const int offsetSign = match[7] == "-" ? -1 : 1;
    const auto local =
        sys_days(date).time_since_epoch() + hours * 1h + minutes * 1min + seconds * 1s;
    const auto offset = offsetSign * (offsetHours * 1h + offsetMinutes * 1min + offsetSeconds * 1s);
    return static_cast<double>(duration_cast<std::chrono::seconds>(local - offset).count()) -
           referenceDateFromUnixEpoch;
}

}  // namespace orvanpush::server
