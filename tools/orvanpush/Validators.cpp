#include "Validators.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "platform/Home.h"
#include "text/Utf8Text.h"

namespace orvanpush::cli {
namespace {

constexpr std::string_view groupPrefix = "group.";

bool isUtf8(std::string_view text) {
    return detail::decodeUtf8(Bytes(text.begin(), text.end())).has_value();
}

}  // namespace

CLI::Validator wholeNumber(std::int64_t min, std::int64_t max) {
    const std::string range = std::to_string(min) + " to " + std::to_string(max);
    return CLI::Validator(
        [min, max, range](std::string& text) -> std::string {
            std::int64_t number = 0;
            const char* end = text.data() + text.size();
            const auto [stop, failure] = std::from_chars(text.data(), end, number);
            if (text.empty() || failure != std::errc() || stop != end || number < min ||
                number > max) {
                return "expected a whole number from " + range;
            }
            return {};
        },
        "INT " + range);
}

CLI::Validator positiveSeconds(double max) {
    return CLI::Validator(
        [max](std::string& text) -> std::string {
            char* stop = nullptr;
            const double seconds = std::strtod(text.c_str(), &stop);
            if (text.empty() || stop != text.c_str() + text.size() || !std::isfinite(seconds) ||
                seconds <= 0 || seconds > max) {
                return "expected a number of seconds greater than 0 and at most " +
                       std::to_string(static_cast<long long>(max));
            }
            return {};
        },
        "SECONDS");
}

CLI::Validator nonEmpty() {
    return CLI::Validator(
        [](std::string& text) -> std::string { return text.empty() ? "must not be empty" : ""; },
        "NONEMPTY");
}

std::string unusableInstanceName(std::string_view name) {
    if (!isUtf8(name)) {
        return "is not valid UTF-8";
    }
    std::string_view bare = name;
    if (bare.starts_with(groupPrefix)) {
        bare.remove_prefix(groupPrefix.size());
    }
    const std::string settingsFile = std::string(groupPrefix) + std::string(bare) + ".sqlite";
    if (!platform::isSafePathComponent(name) || !platform::isSafePathComponent(settingsFile)) {
        return "cannot name the instance's settings file (empty, \".\", \"..\", a \"/\" or NUL, "
               "or too long)";
    }
    return {};
}

CLI::Validator instanceName() {
    return CLI::Validator(
        [](std::string& name) -> std::string {
            const auto why = unusableInstanceName(name);
            return why.empty() ? why : "\"" + name + "\" " + why;
        },
        "NAME");
}

}  // namespace orvanpush::cli
