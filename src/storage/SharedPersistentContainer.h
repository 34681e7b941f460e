#pragma once

// The message store of one application-group container, opened once per container path in a
// process and shared by every instance that names the group (instances of two groups keep two
// files). Every change is written at once in its own transaction; after a commit that changed
// rows, the container tells this process's save observers and, in the extension, posts the
// change notification named by the group id so the application refreshes its view.

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

#include "orvanpush/storage/AppTarget.h"
#include "platform/MessageDatabase.h"

namespace orvanpush::detail {

using StoreSession = platform::MessageDatabase::Session;

/// Told after each commit in this process that changed the store.
class SaveObserver {
  public:
    virtual ~SaveObserver() = default;
    /// Called on the committing thread, right after the commit; must only schedule work.
    virtual void storeDidSave() = 0;
};

class SharedPersistentContainer {
  public:
    /// The container of `groupId`: the one already open in this process for its path (unless
    /// its file was removed since), else a newly opened one. Throws InternalError
    /// "Loading of store failed: ..." (logged) when the store cannot be opened.
    static std::shared_ptr<SharedPersistentContainer> defaultContainer(const std::string& groupId,
                                                                       AppTarget target);

    /// The container directory of `groupId`, created 0700 after its name was checked. Throws
    /// TextError for a group id that cannot be a directory name.
    static std::filesystem::path defaultDirectoryURL(const std::string& groupId);

    /// Opens the store in `directory`; see defaultContainer.
    SharedPersistentContainer(std::string groupId, AppTarget target,
                              const std::filesystem::path& directory);

    SharedPersistentContainer(const SharedPersistentContainer&) = delete;
    SharedPersistentContainer& operator=(const SharedPersistentContainer&) = delete;

    /// Runs `body(session)` for reading; see MessageDatabase::read.
    template <class Body>
    auto read(Body&& body) -> std::invoke_result_t<Body&, StoreSession&> {
        return database_.read(body);
    }

    /// Runs `body(session)` in one write transaction; when it changed rows, announces the
    /// commit (above). Throws what the database or `body` throws; nothing is announced then.
    template <class Body>
    auto write(Body&& body, platform::MessageDatabase::Durability durability =
                                platform::MessageDatabase::Durability::durable)
        -> std::invoke_result_t<Body&, StoreSession&> {
        using Result = std::invoke_result_t<Body&, StoreSession&>;
        bool changed = false;
        auto counted = [&](StoreSession& session) -> Result {
            const auto before = session.totalChanges();
            if constexpr (std::is_void_v<Result>) {
                body(session);
                changed = session.totalChanges() != before;
            } else {
                auto result = body(session);
                changed = session.totalChanges() != before;
                return result;
            }
        };
        if constexpr (std::is_void_v<Result>) {
            database_.write(counted, durability);
            announce(changed);
        } else {
            auto result = database_.write(counted, durability);
            announce(changed);
            return result;
        }
    }

    /// Adds an observer of this process's commits, held weakly.
    void addSaveObserver(std::weak_ptr<SaveObserver> observer);

    const std::string& groupId() const { return groupId_; }
    const platform::MessageDatabase& database() const { return database_; }

  private:
    void announce(bool changed) noexcept;

    const std::string groupId_;
    const AppTarget target_;
    platform::MessageDatabase database_;
    std::mutex observersMutex_;
    std::vector<std::weak_ptr<SaveObserver>> observers_;
};

}  // namespace orvanpush::detail
