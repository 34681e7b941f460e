#pragma once

// Wires one store user (a StorageMessage) to the shared container: it opens the container and
// runs the user's change handler on the main queue after the store changed, whether this
// process committed (told at once) or, in the application, the extension did (told through the
// change notification). Calls are coalesced: changes that arrive while a call waits are
// folded into it, and a change after the call began gets a call of its own.

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "orvanpush/storage/AppTarget.h"
#include "storage/DarwinNotificationCenter.h"
#include "storage/SharedPersistentContainer.h"

namespace orvanpush::detail {

class StorageManager : public SaveObserver, public std::enable_shared_from_this<StorageManager> {
  public:
    /// Opens the store of `groupId` and registers for its changes. Throws InternalError when the
    /// store cannot be opened, TextError when the application's change watch cannot be set up.
    static std::shared_ptr<StorageManager> make(const std::string& groupId, AppTarget target);

    /// Use make(): the manager must be shared before it registers.
    StorageManager(std::shared_ptr<SharedPersistentContainer> container, AppTarget target);

    /// The handler run on the main queue after changes; it must not own this manager's owner.
    void setObserveAppExtensionDataChanges(std::function<void()> handler);

    const std::shared_ptr<SharedPersistentContainer>& persistentContainer() const {
        return container_;
    }
    AppTarget target() const { return target_; }

    void storeDidSave() override;

  private:
    void runHandler();

    const std::shared_ptr<SharedPersistentContainer> container_;
    const AppTarget target_;
    std::unique_ptr<DarwinNotificationCenter::Registration> externalChanges_;
    std::mutex mutex_;
    std::function<void()> handler_;
    bool callPending_ = false;
};

}  // namespace orvanpush::detail
