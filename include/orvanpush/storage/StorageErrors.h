#pragma once

// The errors of the message store. All are `TextError`s, so `what()` is always the whole text.

#include <string>
#include <utility>
#include "orvanpush/Export.h"

#include "orvanpush/TextError.h"

namespace orvanpush {

/// A fault of the store that cannot occur in normal operation (a store that cannot be loaded,
/// a failed look-up on a path that has no other way out). `what()` is the fixed text, for
/// example "Loading of store failed: ...". It never ends the host process.
class ORVANPUSH_EXPORT InternalError : public TextError {
  public:
    using TextError::TextError;
};

/// A failed store operation.
class ORVANPUSH_EXPORT StorageMessageError : public TextError {
  public:
    enum class Kind {
        notSaved,      ///< a save failed; `reason()` is the failure's text
        contextIsNil,  ///< declared for callers to match on; the store always has its database
    };

    /// A notSaved error with the failure's text.
    static StorageMessageError notSaved(const std::string& reason) {
        return StorageMessageError(Kind::notSaved, reason);
    }

    /// The case, and the failure's text ("" for contextIsNil).
    Kind kind() const noexcept { return kind_; }
    const std::string& reason() const noexcept { return reason_; }

  private:
    // `what()` is the case and its reason: notSaved("SQLite error in ...").
    StorageMessageError(Kind kind, std::string reason)
        : TextError(std::string(kind == Kind::notSaved ? "notSaved" : "contextIsNil") + "(\"" +
                    reason + "\")"),
          kind_(kind),
          reason_(std::move(reason)) {}

    Kind kind_;
    std::string reason_;
};

/// A store predicate or sort the store cannot evaluate: an unknown key path, or a value whose
/// type does not suit its key path.
class ORVANPUSH_EXPORT PredicateError : public TextError {
  public:
    using TextError::TextError;
};

}  // namespace orvanpush
