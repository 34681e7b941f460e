#pragma once

// Typed access to the process's own persistent key-value store (not the shared settings of an
// application group):
//
//   LogService<std::string> service;
//   service.set(std::optional<std::string>("trace"), "_log_level");
//   service.get("_log_level");  // "trace"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "orvanpush/TextError.h"
#include "orvanpush/Types.h"
#include "platform/UserDefaults.h"

namespace orvanpush::detail {

/// `T` is one of the store's value types: std::string, std::int64_t, Date or a list of strings.
/// Logging must never fail its caller: when the store cannot be opened or cannot serve a
/// request, `get` answers nothing and `set` and `remove` drop the change; the checked forms throw
/// TextError instead, for callers that must tell a failure from a missing value.
template <class T>
class LogService {
    static_assert(std::is_same_v<T, std::string> || std::is_same_v<T, std::int64_t> ||
                      std::is_same_v<T, Date> || std::is_same_v<T, std::vector<std::string>>,
                  "LogService stores strings, integers, dates and string lists");

  public:
    LogService() : store_(platform::UserDefaults::standard()) {}

    /// Stores `value` under `key`; an absent value removes the key.
    void set(const std::optional<T>& value, const std::string& key) {
        if (!value) {
            remove(key);
        } else {
            ignoringStoreFailures([&] { setChecked(*value, key); });
        }
    }

    /// Stores `value` under `key`; throws TextError when the store cannot be opened or written.
    void setChecked(const T& value, const std::string& key) { checkedStore().set(key, value); }

    /// Stores each value under the key at the same position.
    void set(const std::vector<T>& values, const std::vector<std::string>& keys) {
        auto count = std::min(values.size(), keys.size());
        for (std::size_t i = 0; i < count; ++i) {
            set(std::optional<T>(values[i]), keys[i]);
        }
    }

    /// The value under `key`; nothing when it is missing or holds another type.
    std::optional<T> get(const std::string& key) const {
        std::optional<T> value;
        ignoringStoreFailures([&] { value = getChecked(key); });
        return value;
    }

    /// Like `get`, but a store that cannot be opened or read throws TextError, so that a failed
    /// read is never taken for a missing value.
    std::optional<T> getChecked(const std::string& key) const {
        const auto& store = checkedStore();
        if constexpr (std::is_same_v<T, std::string>) {
            return store.string(key);
        } else if constexpr (std::is_same_v<T, std::int64_t>) {
            return store.integer(key);
        } else if constexpr (std::is_same_v<T, Date>) {
            return store.date(key);
        } else {
            return store.stringList(key);
        }
    }

    void remove(const std::string& key) {
        ignoringStoreFailures([&] { checkedStore().remove(key); });
    }

  private:
    platform::UserDefaults& checkedStore() const {
        if (!store_) {
            throw TextError("The process's own settings store cannot be opened");
        }
        return *store_;
    }

    template <class Operation>
    static void ignoringStoreFailures(Operation operation) {
        try {
            operation();
        } catch (const TextError&) {
            // A full disk or a damaged store file: nothing is read, nothing changes.
        }
    }

    std::shared_ptr<platform::UserDefaults> store_;
};

}  // namespace orvanpush::detail
