#pragma once

// The message store of one instance: every read and write of the message database goes
// through it (see StorageMessageProtocol), plus the retention clean-up, icons, and the
// fetched-results controller over all messages that the host's user interface shows. It
// refetches that controller on the main queue whenever the store changed, in this process or
// in the other one, and then tells the controller's delegate.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "orvanpush/storage/AppTarget.h"
#include "orvanpush/storage/FetchedResultsController.h"
#include "orvanpush/storage/StorageMessageProtocol.h"
#include "storage/StorageManager.h"
#include "storage/StoreRows.h"

namespace orvanpush::detail {

class StorageMessage : public StorageMessageProtocol,
                       public std::enable_shared_from_this<StorageMessage> {
  public:
    /// Messages deleted per transaction, so the other process gets the write lock in between.
    static constexpr std::size_t deletionBatch = 500;
    /// The pause after each batch of a long deletion, in which the other process's waiting
    /// writes take the write lock.
    static constexpr std::chrono::milliseconds pauseBetweenBatches{3};

    /// Opens the store of `groupId` for this process (application or extension). Throws
    /// InternalError (logged) when the store cannot be opened, TextError when the application
    /// cannot watch for the extension's changes.
    static std::shared_ptr<StorageMessage> make(const std::string& groupId);
    /// The same for the given target.
    static std::shared_ptr<StorageMessage> make(const std::string& groupId, AppTarget target);

    /// Use make(): the store registers its change handler once it is shared.
    explicit StorageMessage(std::shared_ptr<StorageManager> storageManager);

    std::shared_ptr<Message> messageById(const std::optional<std::string>& messageId) override;
    void saveMessage(const MessageProtocol& message) override;
    void saveMessage(const MessageProtocol& message,
                     const MessageAttributesProtocol& attributes) override;
    void saveMessages(const std::vector<std::shared_ptr<MessageProtocol>>& messages) override;
    bool isMessageExists(const std::string& id) override;
    std::vector<MessageStatusExternal> getMessageStatusesUnsent() override;
    void markMessageStatusAsSent(const MessageStatusExternalProtocol& status) override;
    void markMessageStatusAsUnsent(const MessageStatusExternalProtocol& status) override;
    void removeAllMessages() override;
    void removeMessage(const std::string& id) override;
    void removeMessages(const std::vector<std::string>& ids) override;
    void removeMessages(const Predicate& predicate) override;
    std::shared_ptr<ExtraContent> extraContent(const std::string& messageId) override;
    void storeExtraContent(const ExtraContentProtocol& content) override;

    /// Stores the message (and its attributes, when given) unless a message with its id is
    /// stored: the check and the insert are one transaction, so the application and the
    /// extension never both store one id. True when stored. Throws StorageMessageError notSaved.
    bool saveMessageIfNew(const MessageProtocol& message,
                          const MessageAttributesProtocol* attributes);

    /// Picks among the unsent statuses (in the order they were stored).
    using UnsentChooser =
        std::function<std::vector<MessageStatusExternal>(std::vector<MessageStatusExternal>)>;
    /// Hands the unsent statuses that no report is sending (no lease, or one run out by `now`)
    /// to `choose`, and leases the rows of the statuses it returns (returned too) for
    /// rows::reportLease: one transaction, so two processes never take one row. Throws
    /// InternalError (logged) when the store fails.
    std::vector<MessageStatusExternal> leaseMessageStatusesUnsent(const UnsentChooser& choose,
                                                                  Date now);

    /// Retention: deletes every message received more than `daysLimit` days of 86,400 seconds
    /// before now (one exactly at the cut-off stays), then all but the `quantityLimit` newest
    /// (equal dates ordered by key), a few hundred per transaction. A negative limit deletes
    /// nothing (logged). Throws InternalError (logged) when a deletion fails; what was deleted
    /// before stays deleted.
    void cleanup(std::int64_t quantityLimit, std::int64_t daysLimit);
    /// The same, counting the days back from `now`.
    void cleanup(std::int64_t quantityLimit, std::int64_t daysLimit, Date now);

    /// The controller over every message by message date, oldest first; built and fetched on
    /// first use, then shared by every caller. Throws InternalError (logged) when the first
    /// fetch fails.
    std::shared_ptr<FetchedResultsController> fetchedResultsController();
    void setFetchedResultsController(std::shared_ptr<FetchedResultsController> controller);

    /// The first icon stored for `url`; nothing when there is none.
    std::shared_ptr<Icon> icon(const std::string& url);
    /// Stores the icon (the first one stored for a URL is kept) and links the first message
    /// with `messageId` to it. Throws StorageMessageError notSaved.
    void storeIcon(const IconProtocol& icon, const std::optional<std::string>& messageId);

    const std::string& groupId() const { return container()->groupId(); }
    AppTarget target() const { return storageManager_->target(); }
    const std::shared_ptr<SharedPersistentContainer>& container() const {
        return storageManager_->persistentContainer();
    }

  private:
    void storeDidChange();
    void markMessageStatus(const MessageStatusExternalProtocol& status, bool sent);
    /// Deletes the rows `select` picks (at most `deletionBatch`), one transaction per batch,
    /// until a batch comes back short.
    template <class Select>
    void deleteInBatches(Select&& select, platform::MessageDatabase::Durability durability =
                                              platform::MessageDatabase::Durability::durable);

    const std::shared_ptr<StorageManager> storageManager_;
    std::mutex controllerMutex_;
    std::shared_ptr<FetchedResultsController> fetchedResultsController_;
};

}  // namespace orvanpush::detail
