#include "utils/logger/FunctionName.h"

#include <cstddef>
#include <string_view>

namespace orvanpush::detail {
namespace {

bool isIdentifierCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// True when an "operator" keyword (not part of a longer identifier) starts at `i`.
bool operatorAt(std::string_view text, std::size_t i) {
    constexpr std::string_view keyword = "operator";
    if (text.compare(i, keyword.size(), keyword) != 0) {
        return false;
    }
    bool startsToken = i == 0 || !isIdentifierCharacter(text[i - 1]);
    std::size_t next = i + keyword.size();
    return startsToken && (next == text.size() || !isIdentifierCharacter(text[next]));
}

// The qualified name of a compiler's function signature: what lies between the return type and
// the parameter list. The first top-level "(" opens the parameter list, so the names of local
// entities (lambdas, local classes) that follow the enclosing function's parameters are left
// out, as is a trailing "[with T = ...]".
std::string_view qualifiedName(std::string_view signature) {
    constexpr std::string_view anonymous = "(anonymous namespace)";
    std::size_t nameStart = 0;
    int depth = 0;
    for (std::size_t i = 0; i < signature.size(); ++i) {
        char c = signature[i];
        if (c == 'o' && depth == 0 && operatorAt(signature, i)) {
            // The operator's symbol may hold brackets and spaces: "operator()", "operator<",
            // "operator bool". Its parameter list is the next "(" after the symbol.
            std::size_t symbol = i + 8;
            std::size_t parameters = signature.compare(symbol, 2, "()") == 0
                                         ? signature.find('(', symbol + 2)
                                         : signature.find('(', symbol);
            return signature.substr(nameStart, parameters == std::string_view::npos
                                                   ? std::string_view::npos
                                                   : parameters - nameStart);
        }
        if (c == '(' && depth == 0 && signature.compare(i, anonymous.size(), anonymous) == 0) {
            i += anonymous.size() - 1;
            continue;
        }
        if (c == '(' && depth == 0) {
            return signature.substr(nameStart, i - nameStart);
        }
        if (c == '<' || c == '(' || c == '[') {
            ++depth;
        } else if ((c == '>' || c == ')' || c == ']') && depth > 0) {
            --depth;
        } else if (c == ' ' && depth == 0) {
            nameStart = i + 1;  // what came before was the return type or a specifier
        }
    }
    return signature.substr(nameStart);
}

std::string_view withoutLibraryNamespaces(std::string_view name) {
    for (std::string_view prefix :
         {"orvanpush::", "detail::", "{anonymous}::", "(anonymous namespace)::"}) {
        if (name.starts_with(prefix)) {
            return withoutLibraryNamespaces(name.substr(prefix.size()));
        }
    }
    return name;
}

}  // namespace

std::string functionName(const SourceLocation& site) {
    std::string_view signature = site.function_name();
    std::string_view name = withoutLibraryNamespaces(qualifiedName(signature));
    return std::string(name.empty() ? signature : name);
}

}  // namespace orvanpush::detail
