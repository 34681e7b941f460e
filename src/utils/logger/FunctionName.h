#pragma once

#include <string>

#include "orvanpush/logger/SourceLocation.h"

namespace orvanpush::detail {

/// The calling function's name as log entries carry it: the qualified name without return type,
/// parameters and the library's namespaces ("KeyChain::load"), whether the compiler names a call
/// site by its whole signature or by its bare name.
std::string functionName(const SourceLocation& site);

}  // namespace orvanpush::detail
