#pragma once

// The DOS date and time fields of ZIP records, in UTC.

#include <cstdint>

#include "orvanpush/Types.h"

namespace orvanpush::zip::detail {

struct DosDateTime {
    std::uint16_t time = 0;  ///< hour × 2048 + minute × 32 + second / 2
    std::uint16_t date = 0;  ///< (year − 1980) × 512 + month × 32 + day
};

/// `date` truncated to whole seconds and broken down in UTC; years outside 1980...2099 are
/// clamped to them (month, day and time are kept).
DosDateTime toDosDateTime(Date date);

/// The moment the fields name, read as UTC. Out-of-range months and days are clamped.
Date fromDosDateTime(std::uint16_t date, std::uint16_t time);

}  // namespace orvanpush::zip::detail
