#include "zip/DosDateTime.h"

#include <algorithm>
#include <chrono>

namespace orvanpush::zip::detail {

using namespace std::chrono;

DosDateTime toDosDateTime(Date date) {
    // duration_cast truncates toward zero, as the whole seconds of the time are wanted.
    const sys_seconds whole(duration_cast<seconds>(date.time_since_epoch()));
    const sys_days day = floor<days>(whole);
    const year_month_day calendar(day);
    const hh_mm_ss clock(whole - day);
    const int dosYear = std::clamp(static_cast<int>(calendar.year()), 1980, 2099) - 1980;
    return {
        .time =
            static_cast<std::uint16_t>(clock.hours().count() * 2048 + clock.minutes().count() * 32 +
                                       clock.seconds().count() / 2),
        .date = static_cast<std::uint16_t>(dosYear * 512 +
                                           static_cast<unsigned>(calendar.month()) * 32 +
                                           static_cast<unsigned>(calendar.day())),
    };
}

Date fromDosDateTime(std::uint16_t date, std::uint16_t time) {
    const year dosYear(1980 + (date >> 9));
    const month dosMonth(std::clamp((date >> 5) & 0x0F, 1, 12));
    const int dayOfMonth = std::max(date & 0x1F, 1);
    const sys_days day = sys_days(dosYear / dosMonth / 1) + days(dayOfMonth - 1);
    const auto timeOfDay =
        hours(time >> 11) + minutes((time >> 5) & 0x3F) + seconds((time & 0x1F) * 2);
    return time_point_cast<Date::duration>(day + timeOfDay);
}

}  // namespace orvanpush::zip::detail
