#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include "orvanpush/Export.h"

namespace orvanpush {

namespace detail {
class SharedPersistentContainer;
}

/// What every stored entity has: a shared reference to the store it was read from (so it may
/// outlive the PushSDK object that handed it out) and the key of its row.
class ORVANPUSH_EXPORT StoredObject {
  public:
    virtual ~StoredObject() = default;
    /// The key of the entity's row, unique among the rows of its entity.
    std::int64_t key() const { return key_; }

  protected:
    /// For the entities: the store they were read from and their row's key.
    StoredObject(std::shared_ptr<detail::SharedPersistentContainer> container, std::int64_t key)
        : container_(std::move(container)), key_(key) {}
    /// The store the entity was read from.
    const std::shared_ptr<detail::SharedPersistentContainer>& container() const {
        return container_;
    }

  private:
    std::shared_ptr<detail::SharedPersistentContainer> container_;
    std::int64_t key_;
};

}  // namespace orvanpush
