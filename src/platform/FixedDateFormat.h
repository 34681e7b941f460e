#pragma once

// The date patterns whose text needs no locale data: numeric years, months, days, hours,
// minutes, seconds and fractions, ISO 8601 and RFC 822 offsets, and literal text. They are
// rendered from the C library's calendar (gmtime_r, localtime_r and the zone database), exactly
// as the Unicode date-field rules print them in a POSIX locale, so a process that formats only
// such patterns never loads the locale library.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvanpush::platform {

class FixedDateFormat {
  public:
    /// The pattern when every field of it is one this class renders; nothing otherwise.
    /// `utc` chooses GMT, otherwise the C library's local zone (TZ and /etc/localtime).
    static std::optional<FixedDateFormat> make(const std::string& pattern, bool utc);

    /// The text of the moment `milliseconds` after the epoch.
    std::string format(std::int64_t milliseconds) const;
    /// The moment `text` names, for text exactly in the pattern's shape (fixed-width numbers of
    /// a real calendar day and time); nothing for any other text, which a lenient parser may
    /// still read.
    std::optional<std::int64_t> parse(const std::string& text) const;

  private:
    struct Field {
        char letter = 0;  // 0 for literal text
        int count = 0;
        std::string literal;
    };

    explicit FixedDateFormat(bool utc) : utc_(utc) {}
    bool parsable() const;
    std::int64_t instantOfLocal(std::int64_t wallSeconds) const;
    std::int64_t offsetAt(std::int64_t seconds) const;

    bool utc_;
    std::vector<Field> fields_;
};

}  // namespace orvanpush::platform
