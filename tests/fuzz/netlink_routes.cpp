// The reader of the kernel's routing dumps on arbitrary bytes, fed as datagrams of the answer it
// expects (the seeds are dumps of this machine's links and routes, their sequence number 1), and
// the reachability rule on whatever table they gave.

#include <cstdint>
#include <span>

#include "platform/NetlinkReachability.h"
#include "platform/RouteDumpReader.h"

using namespace orvanpush::platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RouteDumpReader reader;
    reader.expect(1);
    const std::span<const std::uint8_t> datagram(data, size);
    // The same bytes as the answer to another request: only that request's messages count.
    if (reader.read(datagram) == RouteDumpReader::Outcome::incomplete) {
        reader.expect(2);
        reader.read(datagram);
    }
    auto& table = reader.table();
    if (table.interfaces.size() != table.names.size()) {
        __builtin_trap();
    }
    routingReachabilityFlags(table.interfaces, table.routes);
    return 0;
}
