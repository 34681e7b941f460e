#pragma once

// Dates rendered with Unicode date-field patterns ("yyyy-MM-dd HH:mm:ssZZZ"), in a time zone and
// locale; by default the device's (TZ and LANG).

#include <memory>
#include <optional>
#include <string>

#include "orvanpush/Types.h"

namespace orvanpush::platform {

class DateFormatter {
  public:
    /// `timeZone` is an Olson id or "GMT"; `locale` an ICU locale id ("en_US_POSIX"). Empty
    /// strings mean the device's. Throws `TextError` for a pattern ICU refuses.
    explicit DateFormatter(const std::string& pattern, const std::string& timeZone = {},
                           const std::string& locale = {});
    ~DateFormatter();
    DateFormatter(DateFormatter&&) noexcept;
    DateFormatter& operator=(DateFormatter&&) noexcept;

    /// The date as the pattern renders it. Safe to call from several threads at once.
    std::string string(Date date) const;
    /// Parses text in the pattern; nothing when it does not match or names a moment a `Date`
    /// cannot hold (before 1677 or after 2262).
    std::optional<Date> date(const std::string& text) const;

    /// The device's locale id, as the formatters use it.
    static std::string deviceLocale();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

/// Shortest round-trip decimal text of a double, with ".0" when integral ("20.0", "0.25").
std::string formatDouble(double value);

}  // namespace orvanpush::platform
