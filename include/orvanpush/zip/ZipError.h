#pragma once

#include <stdexcept>
#include <string>
#include "orvanpush/Export.h"

namespace orvanpush::zip {

/// The base of every error the ZIP code throws (`ArchiveError`, `DataError`, `FileError`,
/// `CompressionError`): catch it to handle any failure of an archive operation at once.
class ORVANPUSH_EXPORT ZipError : public std::runtime_error {
  public:
    /// An error whose `what()` is `what`.
    explicit ZipError(const std::string& what) : std::runtime_error(what) {}
};

}  // namespace orvanpush::zip
