#include "support/DirectoryReadFault.h"

#include <dirent.h>
#include <dlfcn.h>

#include <atomic>
#include <cerrno>

namespace orvanpush::testing {
namespace {

// Reads left before the fault; negative when no fault is armed.
std::atomic<int> readsLeft{-1};

}  // namespace

DirectoryReadFault::DirectoryReadFault(int calls) {
    readsLeft = calls;
}

DirectoryReadFault::~DirectoryReadFault() {
    readsLeft = -1;
}

}  // namespace orvanpush::testing

// Defined in the test program, this readdir stands before the C library's for every caller
// (the standard library's directory iterators included) and forwards to it unless armed.
extern "C" struct dirent* readdir(DIR* directory) {
    using Readdir = struct dirent* (*)(DIR*);
    static const auto next = reinterpret_cast<Readdir>(dlsym(RTLD_NEXT, "readdir"));
    auto& left = orvanpush::testing::readsLeft;
    for (int expected = left.load(); expected >= 0;) {
        if (expected == 0) {
            errno = EIO;
            return nullptr;
        }
        if (left.compare_exchange_weak(expected, expected - 1)) {
            break;
        }
    }
    return next(directory);
}
