// The servers of these tests listen on 127.0.0.1: requests to them never go through a proxy the
// environment names. Set before main, while the program has no other thread.

#include <cstdlib>

namespace {

[[maybe_unused]] const bool kLoopbackWithoutProxy = [] {
    setenv("no_proxy", "127.0.0.1", 1);
    setenv("NO_PROXY", "127.0.0.1", 1);
    return true;
}();

}  // namespace
