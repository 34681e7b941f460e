#pragma once

#include <cstddef>
#include <utility>

#include "orvanpush/Types.h"

namespace orvanpush::testing {

/// A value `levels` arrays deep, built without copying (a copy recurses as deep as the value).
inline Json nestedJson(std::size_t levels) {
    Json value = 1;
    for (std::size_t level = 0; level < levels; ++level) {
        Json outer = Json::array();
        outer.push_back(std::move(value));
        value = std::move(outer);
    }
    return value;
}

}  // namespace orvanpush::testing
