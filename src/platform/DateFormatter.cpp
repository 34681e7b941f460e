#include "platform/DateFormatter.h"

#include <charconv>
#include <cmath>
#include <mutex>

#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include "orvanpush/TextError.h"
#include "platform/ProcessInfo.h"

namespace orvanpush::platform {
namespace {

icu::Locale localeFor(const std::string& id) {
    if (!id.empty()) {
        return icu::Locale::createFromName(id.c_str());
    }
    return icu::Locale::createFromName(DateFormatter::deviceLocale().c_str());
}

// ICU reads the host's zone through tzset and static buffers: one detection at a time.
std::unique_ptr<icu::TimeZone> hostTimeZone() {
    static std::mutex detection;
    std::lock_guard lock(detection);
    return std::unique_ptr<icu::TimeZone>(icu::TimeZone::detectHostTimeZone());
}

std::unique_ptr<icu::TimeZone> timeZoneFor(const std::string& id) {
    if (id.empty()) {
        return hostTimeZone();
    }
    return std::unique_ptr<icu::TimeZone>(
        icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(id)));
}

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

}  // namespace

struct DateFormatter::Impl {
    std::unique_ptr<icu::SimpleDateFormat> format;
    bool cacheBySecond = false;
    mutable std::mutex mutex;  // ICU formatters are not safe for concurrent use
    mutable std::int64_t cachedSecond = INT64_MIN;
    mutable std::string cachedText;
};

DateFormatter::DateFormatter(const std::string& pattern, const std::string& timeZone,
                             const std::string& locale)
    : impl_(std::make_unique<Impl>()) {
    UErrorCode status = U_ZERO_ERROR;
    impl_->format = std::make_unique<icu::SimpleDateFormat>(icu::UnicodeString::fromUTF8(pattern),
                                                            localeFor(locale), status);
    if (U_FAILURE(status)) {
        throw TextError("Invalid date pattern \"" + pattern + "\": " + u_errorName(status));
    }
    impl_->format->adoptTimeZone(timeZoneFor(timeZone).release());
    impl_->cacheBySecond = !printsFractionOfSecond(pattern);
}

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
    icu::UnicodeString text;
    impl_->format->format(static_cast<UDate>(milliseconds), text);
    std::string utf8;
    text.toUTF8String(utf8);
    if (impl_->cacheBySecond) {
        impl_->cachedSecond = second;
        impl_->cachedText = utf8;
    }
    return utf8;
}

std::optional<Date> DateFormatter::date(const std::string& text) const {
    UErrorCode status = U_ZERO_ERROR;
    std::lock_guard lock(impl_->mutex);
    UDate parsed = impl_->format->parse(icu::UnicodeString::fromUTF8(text), status);
    // A Date counts nanoseconds in 64 bits: it holds the years 1677 to 2262 only.
    static constexpr auto kLimit = static_cast<double>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Date::duration::max()).count());
    if (U_FAILURE(status) || !(std::abs(parsed) < kLimit)) {
        return std::nullopt;
    }
    auto milliseconds = static_cast<std::int64_t>(std::llround(parsed));
    return Date(std::chrono::milliseconds(milliseconds));
}

std::string DateFormatter::deviceTimeZone() {
    auto zone = hostTimeZone();
    icu::UnicodeString id;
    zone->getID(id);
    std::string utf8;
    id.toUTF8String(utf8);
    return utf8;
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
