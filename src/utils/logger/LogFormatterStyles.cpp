#include "orvanpush/logger/LogFormatterStyles.h"

#include <array>
#include <cstddef>

namespace orvanpush {
namespace {

using Texts = std::array<std::string, 4>;  // indexed like allLogSeverities: off, error, info, trace

std::size_t indexOf(LogSeverity severity) {
    switch (severity) {
        case LogSeverity::off:
            return 0;
        case LogSeverity::error:
            return 1;
        case LogSeverity::info:
            return 2;
        case LogSeverity::trace:
            return 3;
    }
    return 0;
}

const Texts& textsOf(SeverityStyle::TextRepresentation representation) {
    using Representation = SeverityStyle::TextRepresentation;
    static const Texts capitalized{"Off", "Error", "Info", "Trace"};
    static const Texts lowercase{"off", "error", "info", "trace"};
    static const Texts uppercase{"OFF", "ERROR", "INFO", "TRACE"};
    // Shushing face, cross mark, large blue diamond, hammer and wrench.
    static const Texts colorCoded{"\U0001F92B", "\u274C", "\U0001F537", "\U0001F6E0"};
    switch (representation) {
        case Representation::capitalized:
            return capitalized;
        case Representation::lowercase:
        case Representation::numeric:
            return lowercase;
        case Representation::uppercase:
            return uppercase;
        case Representation::colorCoded:
            return colorCoded;
    }
    return capitalized;
}

}  // namespace

const std::string& format(SeverityStyle::TextRepresentation representation, LogSeverity severity) {
    return textsOf(representation)[indexOf(severity)];
}

}  // namespace orvanpush
