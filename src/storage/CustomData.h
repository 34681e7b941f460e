#pragma once

// The values a notification's custom data carries for the store. Every entry is read only when
// it is a string; anything absent, of another type or malformed leaves its field absent (0 for
// numbers), and nothing here throws.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "orvanpush/Types.h"
#include "orvanpush/storage/MessageValues.h"

namespace orvanpush::detail {

class CustomData {
  public:
    /// "content-available": true when its text contains "true" in any letter case.
    static bool contentAvailable(const Json& customData);

    /// The attributes of message `id`: "classifierId", "classifier", "isImportant" and
    /// "sentDate".
    static MessageAttributesImp attributes(const std::string& id, const Json& customData);

    /// A whole decimal number (an optional sign, then digits only) that fits 16 bits; 0 for
    /// anything else.
    static std::int16_t int16(std::string_view text);

    /// A date written "yyyy-MM-dd'T'HH:mm:ss" in GMT; nothing for any other text, an impossible
    /// date (2023-02-30) included.
    static std::optional<Date> sentDate(const std::string& text);

  private:
    static std::optional<std::string> text(const Json& customData, const char* key);
};

}  // namespace orvanpush::detail
