#pragma once

// The library's public API is marked with ORVANPUSH_EXPORT: the shared library is built with
// hidden visibility and exports these declarations only, so its soname promises nothing about
// the internals.
//
//   class ORVANPUSH_EXPORT PushSDK { ... };
//   ORVANPUSH_EXPORT std::string toString(ResultKind kind);

#define ORVANPUSH_EXPORT __attribute__((visibility("default")))

/// Members of exported classes that only the library itself can call (they take its internal
/// types) stay out of the shared library's symbols.
#define ORVANPUSH_INTERNAL __attribute__((visibility("hidden")))
