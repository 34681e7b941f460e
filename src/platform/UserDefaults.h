#pragma once

// A persistent key-value store named by a suite, one SQLite file per suite under
// <home>/defaults/. Every read and write goes to the file (there is no cache), so a value one
// process writes is seen by another process on its next read. Safe for use from several threads
// and processes at once. The file is created by the first write; until then reads answer
// nothing and leave no file behind. A read or write that the file cannot serve (a full disk, a
// damaged file) throws `TextError` naming the file, as does a string list holding text that is
// not valid UTF-8. A file removed while in use is let go: later reads and writes use the file
// then found at the path (none until a write creates it).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "orvanpush/Types.h"

namespace orvanpush::platform {

class UserDefaults {
  public:
    /// The store of `suite`; nullptr when the suite name is refused (unsafe as a file name).
    /// Throws `TextError` naming the file when the suite's file exists but cannot be opened.
    static std::shared_ptr<UserDefaults> suiteChecked(const std::string& suite);
    /// The same, but nullptr also when the existing file cannot be opened.
    static std::shared_ptr<UserDefaults> suite(const std::string& suite);
    /// The process's own store: the suite named by the bundle identifier.
    static std::shared_ptr<UserDefaults> standard();

    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    const std::string& suiteName() const;

    /// Each getter answers nothing when the key is missing or holds a value of another type.
    std::optional<std::string> string(const std::string& key) const;
    std::optional<std::int64_t> integer(const std::string& key) const;
    std::optional<Date> date(const std::string& key) const;
    std::optional<std::vector<std::string>> stringList(const std::string& key) const;

    /// Each setter replaces whatever the key held, whatever its type.
    void set(const std::string& key, const std::string& value);
    void set(const std::string& key, std::int64_t value);
    void set(const std::string& key, Date value);
    void set(const std::string& key, const std::vector<std::string>& value);
    void remove(const std::string& key);
    /// Sets each key to its string, or removes it when it has none, in one transaction: another
    /// thread or process sees all of these changes or none of them.
    void setStrings(const std::vector<std::pair<std::string, std::optional<std::string>>>& values);

  private:
    struct Impl;
    explicit UserDefaults(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace orvanpush::platform
