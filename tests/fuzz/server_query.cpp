// The reference server's query-string decoding on arbitrary text: every value it decodes is one
// the client's double encoding gives back, and an escape is never read past the text.

#include <cstdint>
#include <string_view>

#include "FuzzSupport.h"
#include "push-server/QueryString.h"

using namespace orvanpush::server;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view query(reinterpret_cast<const char*>(data), size);
    for (const auto& parameter : parseQuery(query)) {
        if (!parameter.value) {
            continue;
        }
        const auto once = percentDecode(doublePercentEncode(*parameter.value));
        fuzz::require(once && percentDecode(*once) == parameter.value &&
                      parameter.value->size() <= parameter.rawValue.size());
    }
    return 0;
}
