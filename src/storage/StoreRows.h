#pragma once

// The SQL of the stored entities, run inside a session of the shared container: reading rows
// into values, the find-or-create look-ups, filling a message (its status, history row,
// channel and attributes), the status and channel changes, and deleting messages with what
// depends on them.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "orvanpush/storage/MessageProtocols.h"
#include "orvanpush/storage/MessageValues.h"
#include "platform/SqliteDatabase.h"
#include "storage/SharedPersistentContainer.h"

namespace orvanpush::detail::rows {

/// How long a status row stays leased to the report that is sending it: longer than a report
/// can take (four attempts of at most the default 30 s each), so the other process's re-send
/// rounds leave it alone while it is sent, and take it up again once a crashed sender's lease
/// has run out. Marking the row sent or unsent ends the lease.
inline constexpr std::chrono::minutes reportLease{3};

/// The columns `readMessage` reads, starting with the row key.
inline constexpr const char* messageColumns =
    "Message.pk, Message.id, Message.title, Message.subtitle, Message.body, "
    "Message.messageDate, Message.contentAvailable, Message.statusNameInternal, "
    "Message.statusDateInternal, Message.channelNameInternal";

/// The values of a row selected with `messageColumns`.
MessageImp readMessage(const platform::SqliteStatement& row);

/// The columns `readStatus` reads, starting with the row key.
inline constexpr const char* statusColumns =
    "MessageStatus.pk, MessageStatus.statusNameInternal, MessageStatus.statusDateInternal, "
    "MessageStatus.isSentInternal, MessageStatus.messageId";

/// The values of a row selected with `statusColumns`.
MessageStatusExternal readStatus(const platform::SqliteStatement& row);

/// Rich content from the columns mimeType, value, messageId (from column 1).
ExtraContentImp readContent(const platform::SqliteStatement& row);
/// Attributes from the columns classifierdId, classifierName, isImportant, messageDate,
/// messageId (from column 1).
MessageAttributesImp readAttributes(const platform::SqliteStatement& row);

std::optional<std::string> optionalText(const platform::SqliteStatement& row, int column);
std::optional<Date> optionalDate(const platform::SqliteStatement& row, int column);
void bindOptional(platform::SqliteStatement& statement, int index,
                  const std::optional<std::string>& text);
void bindOptional(platform::SqliteStatement& statement, int index, const std::optional<Date>& date);

// Find-or-create inside a write: the key of the row with that name or message id, inserted
// when there is none.
std::int64_t findOrCreateStatus(StoreSession& session, const std::string& name);
std::int64_t findOrCreateChannel(StoreSession& session, const std::string& name);
std::int64_t findOrCreateAttributes(StoreSession& session, const std::string& messageId);

/// True when a message with `id` is stored.
bool messageExists(StoreSession& session, const std::string& id);

/// Inserts a message filled from `message` and returns its key. A missing message date or
/// status date is `now`.
std::int64_t insertMessage(StoreSession& session, const MessageProtocol& message, Date now);
/// Fills the stored message `key` from `message` (a missing message date keeps the stored
/// one). False when the row is gone.
bool setupMessage(StoreSession& session, std::int64_t key, const MessageProtocol& message,
                  Date now);
/// Overwrites the classifier data of the attributes row linked to message `key`, if any.
void setupAttributes(StoreSession& session, std::int64_t key,
                     const MessageAttributesProtocol& attributes);

enum class Change { applied, unchanged, rowGone };
/// The status change of message `key` to `name` at `now`, with its history row.
Change changeStatus(StoreSession& session, std::int64_t key, const std::string& name, Date now);
/// Links message `key` to the channel `name`.
Change changeChannel(StoreSession& session, std::int64_t key, const std::string& name);
/// Sets the date of the current status of message `key`.
Change setStatusDate(StoreSession& session, std::int64_t key, const std::optional<Date>& date);

/// The values of message `key`; nothing when it is gone.
std::optional<MessageImp> loadMessage(StoreSession& session, std::int64_t key);

struct MessageRow {
    std::int64_t key;
    std::optional<std::string> id;
};
/// Deletes the messages with their sent status rows (unsent ones stay, keeping the message id,
/// so their reports can still be sent), and the attributes and rich content of each id that no
/// remaining message has.
void deleteMessages(StoreSession& session, const std::vector<MessageRow>& messages);

}  // namespace orvanpush::detail::rows
