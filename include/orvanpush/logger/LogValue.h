#pragma once

#include <concepts>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include "orvanpush/Export.h"

namespace orvanpush {

namespace detail {
/// The standard signed integer types (signed char to long long), which log as `Int`; `char` and
/// `wchar_t` are character types, not among them.
template <class T>
inline constexpr bool isSignedIntegerType = std::is_integral_v<T>&& std::is_signed_v<T> &&
                                            !std::is_same_v<T, char> && !std::is_same_v<T, wchar_t>;
}  // namespace detail

/// A value logged as a value payload: the name of its type and its text, captured when the entry
/// is made. Signed integers (other than `char`) print as `Int`, `double` as `Double`, booleans as
/// `Bool`, strings as `String` (quoted, as a debug description); every other type (`float`,
/// `char`, unsigned integers, ...) by its C++ name, with the text its `operator<<` writes (or the
/// type name when it has none). A `char` prints quoted, as a one-character string.
class ORVANPUSH_EXPORT LogValue {
  public:
    template <class T>
    /// Captures `value`'s type name and text now; never throws but for allocation.
    explicit LogValue(const T& value) : typeName_(typeNameOf<T>()), text_(describe(value)) {}

    /// The printed type name ("Int", "String", ...) and the value's text.
    const std::string& typeName() const { return typeName_; }
    const std::string& text() const { return text_; }

    /// The readable C++ name of `type`, and `value` as log texts print a Double.
    static std::string demangledTypeName(const std::type_info& type);
    static std::string doubleText(double value);
    /// `text` as log texts print a string value: in double quotes, with backslash, both quote
    /// characters, tab, line feed, carriage return and NUL escaped as \\ \" \' \t \n \r \0, and
    /// the other control characters as \u{hex}. A printed value thus never breaks a log line.
    static std::string quotedText(std::string_view text);

  private:
    template <class T>
    static std::string typeNameOf() {
        if constexpr (std::is_same_v<T, bool>) {
            return "Bool";
        } else if constexpr (detail::isSignedIntegerType<T>) {
            return "Int";
        } else if constexpr (std::is_same_v<T, double>) {
            return "Double";
        } else if constexpr (std::is_convertible_v<const T&, std::string_view>) {
            return "String";
        } else {
            return demangledTypeName(typeid(T));
        }
    }

    template <class T>
    static std::string describe(const T& value) {
        if constexpr (std::is_same_v<T, bool>) {
            return value ? "true" : "false";
        } else if constexpr (std::is_same_v<T, char>) {
            return quotedText(std::string_view(&value, 1));
        } else if constexpr (std::is_integral_v<T>) {
            return std::to_string(value);
        } else if constexpr (std::is_floating_point_v<T>) {
            return doubleText(static_cast<double>(value));
        } else if constexpr (std::is_convertible_v<const T&, std::string_view>) {
            return quotedText(std::string_view(value));
        } else if constexpr (requires(std::ostream & out) { out << value; }) {
            std::ostringstream out;
            out << value;
            return out.str();
        } else {
            return demangledTypeName(typeid(T));
        }
    }

    std::string typeName_;
    std::string text_;
};

}  // namespace orvanpush
