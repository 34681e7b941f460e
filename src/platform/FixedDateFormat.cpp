#include "platform/FixedDateFormat.h"

#include <time.h>

#include <charconv>
#include <cstdlib>
#include <string_view>

namespace orvanpush::platform {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

bool rendered(char letter, int count) {
    switch (letter) {
        case 'y':
        case 'd':
        case 'H':
        case 'm':
        case 's':
        case 'S':
            return true;
        case 'M':
            return count <= 2;
        case 'Z':
            return count != 4 && count <= 5;
        case 'X':
        case 'x':
            return count <= 5;
        default:
            return false;
    }
}

bool isPatternLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

void appendNumber(std::string& text, std::int64_t value, int minimumDigits) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    const auto length = static_cast<int>(end - digits);
    if (length < minimumDigits) {
        text.append(static_cast<std::size_t>(minimumDigits - length), '0');
    }
    text.append(digits, end);
}

// An offset as the ISO 8601 forms print it: "+hh", "+hhmm", "+hh:mm" with seconds when they
// matter, "Z" for zero when `utcIndicator`; the sign is "+" when every printed field is zero.
void appendOffset(std::string& text, std::int64_t offset, bool utcIndicator, bool extended,
                  bool hoursAlone, bool withSeconds) {
    const std::int64_t magnitude = std::llabs(offset);
    if (utcIndicator && (magnitude == 0 || (!withSeconds && magnitude < 60))) {
        text += 'Z';
        return;
    }
    const std::int64_t parts[3] = {magnitude / 3600, magnitude / 60 % 60, magnitude % 60};
    int last = withSeconds ? 2 : 1;
    const int first = hoursAlone ? 0 : 1;
    while (last > first && parts[last] == 0) {
        --last;
    }
    bool negative = false;
    for (int i = 0; i <= last; ++i) {
        negative = negative || (offset < 0 && parts[i] != 0);
    }
    text += negative ? '-' : '+';
    for (int i = 0; i <= last; ++i) {
        if (i > 0 && extended) {
            text += ':';
        }
        appendNumber(text, parts[i], 2);
    }
}

void appendZone(std::string& text, char letter, int count, std::int64_t offset) {
    if (letter == 'Z') {
        // "Z" to "ZZZ": "+hhmm" (seconds when not zero); "ZZZZZ": "+hh:mm" or "Z".
        appendOffset(text, offset, count == 5, count == 5, false, true);
        return;
    }
    // "X" and "x": the basic form by hours alone, basic, extended; then both with seconds.
    const bool utcIndicator = letter == 'X';
    appendOffset(text, offset, utcIndicator, count == 3 || count == 5, count == 1, count >= 4);
}

std::optional<int> readNumber(std::string_view& text, int digits) {
    if (text.size() < static_cast<std::size_t>(digits)) {
        return std::nullopt;
    }
    int value = 0;
    for (int i = 0; i < digits; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        }
        value = value * 10 + (text[i] - '0');
    }
    text.remove_prefix(static_cast<std::size_t>(digits));
    return value;
}

// Days from 1970-01-01 to the given day of the proleptic Gregorian calendar.
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

int daysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

std::optional<FixedDateFormat> FixedDateFormat::make(const std::string& pattern, bool utc) {
    FixedDateFormat format(utc);
    auto literal = [&format]() -> std::string& {
        if (format.fields_.empty() || format.fields_.back().letter != 0) {
            format.fields_.push_back({});
        }
        return format.fields_.back().literal;
    };
    for (std::size_t i = 0; i < pattern.size();) {
        const char c = pattern[i];
        if (c == '\'') {
            // '' is a quote; otherwise quoted text runs to the next lone quote.
            if (i + 1 < pattern.size() && pattern[i + 1] == '\'') {
                literal() += '\'';
                i += 2;
                continue;
            }
            std::string& text = literal();
            for (++i; i < pattern.size(); ++i) {
                if (pattern[i] == '\'') {
                    if (i + 1 < pattern.size() && pattern[i + 1] == '\'') {
                        text += '\'';
                        ++i;
                        continue;
                    }
                    break;
                }
                text += pattern[i];
            }
            if (i == pattern.size()) {
                return std::nullopt;  // an unclosed quote: the locale library judges it
            }
            ++i;
        } else if (isPatternLetter(c)) {
            const auto end = pattern.find_first_not_of(c, i);
            const int count =
                static_cast<int>((end == std::string::npos ? pattern.size() : end) - i);
            if (!rendered(c, count)) {
                return std::nullopt;
            }
            format.fields_.push_back({c, count, {}});
            i += static_cast<std::size_t>(count);
        } else {
            literal() += c;
            ++i;
        }
    }
    return format;
}

std::int64_t FixedDateFormat::offsetAt(std::int64_t seconds) const {
    if (utc_) {
        return 0;
    }
    const time_t moment = static_cast<time_t>(seconds);
    struct tm local {};
    return localtime_r(&moment, &local) == nullptr ? 0 : local.tm_gmtoff;
}

std::string FixedDateFormat::format(std::int64_t milliseconds) const {
    const std::int64_t second =
        milliseconds >= 0 ? milliseconds / 1000 : (milliseconds - 999) / 1000;
    const std::int64_t millisecond = milliseconds - second * 1000;
    const time_t moment = static_cast<time_t>(second);
    struct tm fields {};
    if ((utc_ ? gmtime_r(&moment, &fields) : localtime_r(&moment, &fields)) == nullptr) {
        return {};
    }
    const std::int64_t offset = utc_ ? 0 : fields.tm_gmtoff;
    std::string text;
    for (const auto& field : fields_) {
        switch (field.letter) {
            case 0:
                text += field.literal;
                break;
            case 'y':
                appendNumber(
                    text, field.count == 2 ? (fields.tm_year + 1900) % 100 : fields.tm_year + 1900,
                    field.count);
                break;
            case 'M':
                appendNumber(text, fields.tm_mon + 1, field.count);
                break;
            case 'd':
                appendNumber(text, fields.tm_mday, field.count);
                break;
            case 'H':
                appendNumber(text, fields.tm_hour, field.count);
                break;
            case 'm':
                appendNumber(text, fields.tm_min, field.count);
                break;
            case 's':
                appendNumber(text, fields.tm_sec, field.count);
                break;
            case 'S':
                // Fractions are cut, never rounded, and padded with zeros after milliseconds.
                appendNumber(
                    text,
                    field.count >= 3 ? millisecond : millisecond / (field.count == 1 ? 100 : 10),
                    std::min(field.count, 3));
                if (field.count > 3) {
                    text.append(static_cast<std::size_t>(field.count - 3), '0');
                }
                break;
            default:
                appendZone(text, field.letter, field.count, offset);
        }
    }
    return text;
}

bool FixedDateFormat::parsable() const {
    bool year = false;
    bool month = false;
    bool day = false;
    for (const auto& field : fields_) {
        if (field.letter == 0) {
            continue;
        }
        const bool fixedWidth = field.letter == 'y' ? field.count == 4 : field.count == 2;
        if (!fixedWidth ||
            std::string_view("yMdHms").find(field.letter) == std::string_view::npos) {
            return false;
        }
        year = year || field.letter == 'y';
        month = month || field.letter == 'M';
        day = day || field.letter == 'd';
    }
    return year && month && day;
}

// The moment a local wall time names. A wall time the clocks skipped is read with the offset
// before the change; one they showed twice is the later of the two moments.
std::int64_t FixedDateFormat::instantOfLocal(std::int64_t wallSeconds) const {
    const std::int64_t before = offsetAt(wallSeconds - kSecondsPerDay);
    const std::int64_t after = offsetAt(wallSeconds + kSecondsPerDay);
    const std::int64_t early = wallSeconds - before;
    const std::int64_t late = wallSeconds - after;
    const bool earlyHolds = offsetAt(early) == before;
    const bool lateHolds = offsetAt(late) == after;
    if (earlyHolds && lateHolds) {
        return std::max(early, late);
    }
    return lateHolds ? late : early;
}

std::optional<std::int64_t> FixedDateFormat::parse(const std::string& input) const {
    if (!parsable()) {
        return std::nullopt;
    }
    std::string_view text(input);
    int values[6] = {1970, 1, 1, 0, 0, 0};
    for (const auto& field : fields_) {
        if (field.letter == 0) {
            if (!text.starts_with(field.literal)) {
                return std::nullopt;
            }
            text.remove_prefix(field.literal.size());
            continue;
        }
        const auto value = readNumber(text, field.count);
        if (!value) {
            return std::nullopt;
        }
        values[std::string_view("yMdHms").find(field.letter)] = *value;
    }
    const auto [year, month, day, hour, minute, second] = values;
    if (!text.empty() || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) ||
        hour > 23 || minute > 59 || second > 59) {
        return std::nullopt;
    }
    const std::int64_t wall =
        daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) *
            kSecondsPerDay +
        hour * 3600 + minute * 60 + second;
    return (utc_ ? wall : instantOfLocal(wall)) * 1000;
}

}  // namespace orvanpush::platform
