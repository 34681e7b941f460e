#pragma once

// The small style values that configure the field formatters:
//
//   auto timestamp = TimestampStyle::custom("yyyy-MM-dd HH:mm:ssZZZ");
//   auto severity = SeverityStyle::custom(SeverityStyle::TextRepresentation::uppercase, 3, 5,
//   true); auto delimiter = DelimiterStyle::semicolon();
//
// Cases that collide with C++ keywords or common macros carry a trailing underscore
// (`TimestampStyle::default_()`, `TimestampStyle::unix_()`).

#include <optional>
#include <string>
#include <utility>
#include "orvanpush/Export.h"

#include "orvanpush/logger/LogSeverity.h"

namespace orvanpush {

/// How a timestamp is printed.
class ORVANPUSH_EXPORT TimestampStyle {
  public:
    /// Which of the factories below made the style.
    enum class Kind { custom, default_, unix_ };

    /// A date pattern in Unicode date-field symbols ("yyyy-MM-dd HH:mm:ss").
    static TimestampStyle custom(std::string pattern) { return {Kind::custom, std::move(pattern)}; }
    /// The pattern "yyyy-MM-dd HH:mm:ss.SSS xxx".
    static TimestampStyle default_() { return {Kind::default_, "yyyy-MM-dd HH:mm:ss.SSS xxx"}; }
    /// Seconds since 1970-01-01 00:00 UTC as a decimal number ("1700000000.25").
    static TimestampStyle unix_() { return {Kind::unix_, {}}; }

    /// The factory that made the style.
    Kind kind() const { return kind_; }
    /// The date pattern of `custom` and `default_`; empty for `unix_`.
    const std::string& pattern() const { return pattern_; }

  private:
    TimestampStyle(Kind kind, std::string pattern) : kind_(kind), pattern_(std::move(pattern)) {}

    Kind kind_;
    std::string pattern_;
};

/// How a severity is printed.
class ORVANPUSH_EXPORT SeverityStyle {
  public:
    /// Which of the factories below made the style.
    enum class Kind { custom, simple, xcode, numeric };

    /// The texts a severity can be shown as.
    enum class TextRepresentation {
        capitalized,  ///< "Off", "Error", "Info", "Trace"
        lowercase,    ///< "off", "error", "info", "trace"
        uppercase,    ///< "OFF", "ERROR", "INFO", "TRACE"
        numeric,      ///< the raw value itself (severities carry no numbers)
        colorCoded,   ///< one emoji per severity
    };

    /// `representation`, cut to `truncateAtWidth` characters, then padded with spaces to
    /// `padToWidth` (in front when `rightAlign`, after otherwise).
    static SeverityStyle custom(TextRepresentation representation,
                                std::optional<int> truncateAtWidth = std::nullopt,
                                std::optional<int> padToWidth = std::nullopt,
                                bool rightAlign = false) {
        return {Kind::custom, representation, truncateAtWidth, padToWidth, rightAlign};
    }
    /// The capitalized text, neither cut nor widened.
    static SeverityStyle simple() { return {Kind::simple, TextRepresentation::capitalized}; }
    /// The color-coded emoji.
    static SeverityStyle xcode() { return {Kind::xcode, TextRepresentation::colorCoded}; }
    /// The numeric text.
    static SeverityStyle numeric() { return {Kind::numeric, TextRepresentation::numeric}; }

    /// The values the style was made with: the factory, the text, the width to cut to (none: not
    /// cut), the width to pad to (none: not padded) and the side the padding goes.
    Kind kind() const { return kind_; }
    TextRepresentation textRepresentation() const { return textRepresentation_; }
    std::optional<int> truncateAtWidth() const { return truncateAtWidth_; }
    std::optional<int> padToWidth() const { return padToWidth_; }
    bool rightAlign() const { return rightAlign_; }

  private:
    SeverityStyle(Kind kind, TextRepresentation representation,
                  std::optional<int> truncateAtWidth = std::nullopt,
                  std::optional<int> padToWidth = std::nullopt, bool rightAlign = false)
        : kind_(kind),
          textRepresentation_(representation),
          truncateAtWidth_(truncateAtWidth),
          padToWidth_(padToWidth),
          rightAlign_(rightAlign) {}

    Kind kind_;
    TextRepresentation textRepresentation_;
    std::optional<int> truncateAtWidth_;
    std::optional<int> padToWidth_;
    bool rightAlign_;
};

/// The text `representation` gives for `severity` ("Error", "ERROR", U+274C, ...).
ORVANPUSH_EXPORT const std::string& format(SeverityStyle::TextRepresentation representation,
                                           LogSeverity severity);

/// The text placed between two pieces of a line.
class ORVANPUSH_EXPORT DelimiterStyle {
  public:
    /// Which of the factories below made the style.
    enum class Kind { custom, spacedPipe, spacedHyphen, tab, space, semicolon };

    /// The text itself.
    static DelimiterStyle custom(std::string text) { return {Kind::custom, std::move(text)}; }
    /// " | "
    static DelimiterStyle spacedPipe() { return {Kind::spacedPipe, " | "}; }
    /// " - "
    static DelimiterStyle spacedHyphen() { return {Kind::spacedHyphen, " - "}; }
    /// One horizontal tab.
    static DelimiterStyle tab() { return {Kind::tab, "\t"}; }
    /// One space.
    static DelimiterStyle space() { return {Kind::space, " "}; }
    /// ";"
    static DelimiterStyle semicolon() { return {Kind::semicolon, ";"}; }

    /// The factory that made the style.
    Kind kind() const { return kind_; }
    /// The text this style produces.
    const std::string& delimiter() const { return delimiter_; }

  private:
    DelimiterStyle(Kind kind, std::string delimiter)
        : kind_(kind), delimiter_(std::move(delimiter)) {}

    Kind kind_;
    std::string delimiter_;
};

/// How a thread id is printed: upper-case hexadecimal of at least eight digits, or decimal.
enum class CallingThreadStyle { hex, integer };

}  // namespace orvanpush
