#include "orvanpush/platform/ForeignJson.h"

#include <string>
#include <utility>
#include <vector>

#include "orvanpush/TextError.h"

namespace orvanpush::platform {
namespace {

std::string_view textOf(const Bytes& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// What the parser would accept or build wrongly, found before it builds anything: nesting beyond
// the limit, and a NUL byte (where the parser stops reading, taking `{}\0garbage` for `{}`).
// Valid JSON holds no NUL: control characters in strings are escaped.
std::optional<std::string> shapeProblem(std::string_view text) {
    std::size_t depth = 0;
    bool inString = false;
    bool escaped = false;
    for (std::size_t offset = 0; offset < text.size(); ++offset) {
        const char c = text[offset];
        if (c == '\0') {
            return "not JSON: a NUL byte at offset " + std::to_string(offset) +
                   " (nothing may follow the value)";
        }
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > ForeignJson::kMaxDepth) {
                return "JSON nests deeper than the limit of " +
                       std::to_string(ForeignJson::kMaxDepth) + " levels";
            }
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return std::nullopt;
}

}  // namespace

Json ForeignJson::parse(std::string_view text) {
    if (auto problem = shapeProblem(text)) {
        throw TextError(*problem);
    }
    try {
        return Json::parse(text);
    } catch (const Json::exception& error) {
        throw TextError(std::string("not JSON: ") + error.what());
    }
}

Json ForeignJson::parse(const Bytes& bytes) {
    return parse(textOf(bytes));
}

std::optional<Json> ForeignJson::tryParse(std::string_view text) {
    if (shapeProblem(text)) {
        return std::nullopt;
    }
    Json json = Json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (json.is_discarded()) {
        return std::nullopt;
    }
    return json;
}

std::optional<Json> ForeignJson::tryParse(const Bytes& bytes) {
    return tryParse(textOf(bytes));
}

bool ForeignJson::isWithinDepth(const Json& value) {
    // Each entry: a container and how deep it lies.
    std::vector<std::pair<const Json*, std::size_t>> pending{{&value, 0}};
    while (!pending.empty()) {
        const auto [container, depth] = pending.back();
        pending.pop_back();
        if (!container->is_structured()) {
            continue;
        }
        if (depth + 1 > kMaxDepth) {
            return false;
        }
        for (const auto& member : *container) {
            if (member.is_structured()) {
                pending.emplace_back(&member, depth + 1);
            }
        }
    }
    return true;
}

}  // namespace orvanpush::platform
