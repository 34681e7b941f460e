#pragma once

// A date format of ICU, for the patterns, zones and locales that need its locale data, and for
// lenient reading. ICU is loaded on the first such format of the process, not at start: a
// process that formats only fixed numeric patterns never maps it.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace orvanpush::platform {

class IcuDateFormat {
  public:
    /// `timeZone` is an Olson id or "GMT", empty for the device's; `locale` an ICU locale id,
    /// empty for `DateFormatter::deviceLocale()`. Throws `TextError` for a pattern ICU refuses,
    /// or when ICU cannot be loaded.
    IcuDateFormat(const std::string& pattern, const std::string& timeZone,
                  const std::string& locale);
    ~IcuDateFormat();
    IcuDateFormat(const IcuDateFormat&) = delete;
    IcuDateFormat& operator=(const IcuDateFormat&) = delete;

    /// The text of the moment `milliseconds` after the epoch. One call at a time.
    std::string format(std::int64_t milliseconds) const;
    /// The moment, in milliseconds, that text read leniently from its start names; nothing when
    /// it does not match. One call at a time.
    std::optional<double> parse(const std::string& text) const;

    /// The id of the device's time zone as ICU detects it.
    static std::string hostTimeZone();
    /// Held by whoever has the host's zone read again (tzset rewrites the C library's zone
    /// state): one reading at a time.
    static std::mutex& hostZoneReading();

  private:
    struct Handle;
    std::unique_ptr<Handle> handle_;
};

}  // namespace orvanpush::platform
