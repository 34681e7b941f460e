#include "platform/DateFormatter.h"

#include <time.h>

#include <charconv>
#include <cmath>
#include <filesystem>
#include <mutex>

#include "platform/FixedDateFormat.h"
#include "platform/IcuDateFormat.h"
#include "platform/ProcessInfo.h"

namespace orvanpush::platform {
namespace {

// Text of the current second can be reused only when the pattern prints nothing finer.
bool printsFractionOfSecond(const std::string& pattern) {
    bool quoted = false;
    for (char c : pattern) {
        if (c == '\'') {
            quoted = !quoted;
        } else if (!quoted && (c == 'S' || c == 'A')) {
            return true;
        }
    }
    return false;
}

std::int64_t millisecondsSinceEpoch(Date date) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(date.time_since_epoch()).count();
}

// Locales that print the numeric fields in ASCII digits of the Gregorian calendar, as the fixed
// patterns are rendered without the locale library. A locale id with keywords is left to it.
bool printsAsciiDigits(const std::string& locale) {
    const std::string id = locale.empty() ? DateFormatter::deviceLocale() : locale;
    return id == "en_US_POSIX@calendar=iso8601" || id == "C" ||
           (id.find('@') == std::string::npos && (id == "en" || id.starts_with("en_")));
}

// The C library and the locale library agree on the device's zone when TZ is unset or names a
// zone of the system's database; other TZ texts are read by each in its own way.
bool hostZoneAgreed() {
    auto zone = ProcessInfo::environment("TZ");
    if (!zone || zone->empty()) {
        return true;
    }
    const std::string name = zone->starts_with(':') ? zone->substr(1) : *zone;
    std::error_code ignored;
    return !name.empty() && name.front() != '/' && name.find("..") == std::string::npos &&
           std::filesystem::is_regular_file(std::filesystem::path("/usr/share/zoneinfo") / name,
                                            ignored);
}

// The pattern rendered without the locale library, when it and its zone and locale allow.
std::optional<FixedDateFormat> fixedFormat(const std::string& pattern, const std::string& timeZone,
                                           const std::string& locale) {
    if (!printsAsciiDigits(locale)) {
        return std::nullopt;
    }
    if (timeZone == "GMT") {
        return FixedDateFormat::make(pattern, true);
    }
    if (!timeZone.empty() || !hostZoneAgreed()) {
        return std::nullopt;
    }
    std::lock_guard lock(IcuDateFormat::hostZoneReading());
    tzset();
    return FixedDateFormat::make(pattern, false);
}

}  // namespace

struct DateFormatter::Impl {
    Impl(const std::string& pattern, const std::string& timeZone, const std::string& locale)
        : pattern(pattern),
          timeZone(timeZone),
          locale(locale),
          fixed(fixedFormat(pattern, timeZone, locale)),
          cacheBySecond(!printsFractionOfSecond(pattern)) {
        if (!fixed) {
            icuFormat();
        }
    }

    const std::string pattern;
    const std::string timeZone;
    const std::string locale;
    const std::optional<FixedDateFormat> fixed;
    const bool cacheBySecond;
    // Guards what follows: ICU formatters are not safe for concurrent use.
    mutable std::mutex mutex;
    // Made at once for the patterns the fixed form cannot render, on the first lenient read
    // for the others.
    mutable std::unique_ptr<IcuDateFormat> icu;
    mutable std::int64_t cachedSecond = INT64_MIN;
    mutable std::string cachedText;

    const IcuDateFormat& icuFormat() const {
        if (!icu) {
            icu = std::make_unique<IcuDateFormat>(pattern, timeZone, locale);
        }
        return *icu;
    }
};

DateFormatter::DateFormatter(const std::string& pattern, const std::string& timeZone,
                             const std::string& locale)
    : impl_(std::make_unique<Impl>(pattern, timeZone, locale)) {}

DateFormatter::~DateFormatter() = default;
DateFormatter::DateFormatter(DateFormatter&&) noexcept = default;
DateFormatter& DateFormatter::operator=(DateFormatter&&) noexcept = default;

std::string DateFormatter::string(Date date) const {
    auto milliseconds = millisecondsSinceEpoch(date);
    auto second = milliseconds >= 0 ? milliseconds / 1000 : (milliseconds - 999) / 1000;
    std::lock_guard lock(impl_->mutex);
    if (impl_->cacheBySecond && second == impl_->cachedSecond) {
        return impl_->cachedText;
    }
    std::string utf8 =
        impl_->fixed ? impl_->fixed->format(milliseconds) : impl_->icu->format(milliseconds);
    if (impl_->cacheBySecond) {
        impl_->cachedSecond = second;
        impl_->cachedText = utf8;
    }
    return utf8;
}

std::optional<Date> DateFormatter::date(const std::string& text) const {
    std::lock_guard lock(impl_->mutex);
    const auto exact = impl_->fixed ? impl_->fixed->parse(text) : std::nullopt;
    const auto parsed =
        exact ? std::optional<double>(static_cast<double>(*exact)) : impl_->icuFormat().parse(text);
    // A Date counts nanoseconds in 64 bits: it holds the years 1677 to 2262 only.
    static constexpr auto kLimit = static_cast<double>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Date::duration::max()).count());
    if (!parsed || !(std::abs(*parsed) < kLimit)) {
        return std::nullopt;
    }
    auto milliseconds = static_cast<std::int64_t>(std::llround(*parsed));
    return Date(std::chrono::milliseconds(milliseconds));
}

std::string DateFormatter::deviceLocale() {
    for (const char* variable : {"LC_ALL", "LC_TIME", "LANG"}) {
        auto value = ProcessInfo::environment(variable);
        if (value && !value->empty() && *value != "C" && *value != "POSIX") {
            return value->substr(0, value->find('.'));
        }
    }
    return "en_US_POSIX";
}

std::string formatDouble(double value) {
    // Plain decimals for everyday magnitudes, exponents only for the very large and very small,
    // the way the platform prints a double.
    double magnitude = std::fabs(value);
    bool plain = magnitude == 0.0 || (magnitude >= 1e-4 && magnitude < 1e16);
    char buffer[400];
    auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value,
                      plain ? std::chars_format::fixed : std::chars_format::scientific);
    std::string text(buffer, end);
    if (std::isfinite(value) && text.find_first_of(".e") == std::string::npos) {
        text += ".0";
    }
    return text;
}

}  // namespace orvanpush::platform
