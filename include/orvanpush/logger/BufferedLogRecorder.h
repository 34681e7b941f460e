#pragma once

#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>
#include "orvanpush/Export.h"

#include "orvanpush/logger/LogRecorderBase.h"

namespace orvanpush {

/// Keeps an item for every entry recorded, in memory; with a positive `bufferLimit`, only the
/// newest `bufferLimit` items. The buffer is changed and read on the recorder's queue.
template <class Item>
class ORVANPUSH_EXPORT BufferedLogRecorder : public LogRecorderBase {
  public:
    /// Makes the item kept for an entry and its formatted message; runs on the recorder's queue.
    using CreateBufferItem = std::function<Item(const LogEntry& entry, std::string_view message)>;

    /// A recorder keeping at most `bufferLimit` items (all of them for 0 or less), writing on
    /// `queue` (made on first use when null).
    BufferedLogRecorder(LogFormatters formatters, int bufferLimit,
                        std::shared_ptr<platform::DispatchQueue> queue,
                        CreateBufferItem createBufferItem)
        : LogRecorderBase(std::move(formatters), std::move(queue)),
          bufferLimit_(bufferLimit),
          createBufferItem_(std::move(createBufferItem)) {}

    /// The limit it was built with.
    int bufferLimit() const { return bufferLimit_; }

    /// Appends the item made from the entry and message, dropping the oldest one beyond the
    /// limit. Runs on the recorder's queue.
    void record(std::string_view message, const LogEntry& entry, platform::DispatchQueue&,
                bool) override {
        buffer_.push_back(createBufferItem_(entry, message));
        if (bufferLimit_ > 0 && buffer_.size() > static_cast<std::size_t>(bufferLimit_)) {
            buffer_.pop_front();
        }
    }

    /// A copy of the items, oldest first, taken on the recorder's queue.
    std::vector<Item> buffer() const {
        std::vector<Item> items;
        queue()->sync([&] { items.assign(buffer_.begin(), buffer_.end()); });
        return items;
    }

    /// Empties the buffer on the recorder's queue and waits for it.
    void clear() {
        queue()->sync([this] { buffer_.clear(); });
    }

  private:
    int bufferLimit_;
    CreateBufferItem createBufferItem_;
    std::deque<Item> buffer_;
};

/// The three item kinds are instantiated once, in the library.
extern template class BufferedLogRecorder<std::string>;
extern template class BufferedLogRecorder<LogEntry>;
extern template class BufferedLogRecorder<std::pair<LogEntry, std::string>>;

/// The items a buffered recorder keeps unless told otherwise.
inline constexpr int defaultLogBufferLimit = 10000;

/// Buffers the formatted messages.
class ORVANPUSH_EXPORT BufferedMessageRecorder : public BufferedLogRecorder<std::string> {
  public:
    /// A recorder keeping at most `bufferLimit` messages.
    explicit BufferedMessageRecorder(LogFormatters formatters,
                                     int bufferLimit = defaultLogBufferLimit,
                                     std::shared_ptr<platform::DispatchQueue> queue = nullptr);
};

/// Buffers the entries.
class ORVANPUSH_EXPORT BufferedLogEntryRecorder : public BufferedLogRecorder<LogEntry> {
  public:
    /// A recorder keeping at most `bufferLimit` entries.
    explicit BufferedLogEntryRecorder(LogFormatters formatters,
                                      int bufferLimit = defaultLogBufferLimit,
                                      std::shared_ptr<platform::DispatchQueue> queue = nullptr);
};

/// Buffers each entry together with its formatted message.
class ORVANPUSH_EXPORT BufferedLogEntryMessageRecorder
    : public BufferedLogRecorder<std::pair<LogEntry, std::string>> {
  public:
    /// A recorder keeping at most `bufferLimit` entries with their messages.
    explicit BufferedLogEntryMessageRecorder(
        LogFormatters formatters, int bufferLimit = defaultLogBufferLimit,
        std::shared_ptr<platform::DispatchQueue> queue = nullptr);
};

}  // namespace orvanpush
