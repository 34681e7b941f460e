#pragma once

// Byte-addressed reading and writing of a file's contents, and its buffered standard-I/O
// implementation. Nothing here throws: every call reports failure through its result.
//
//   auto file = BufferedFile::createExclusive(path, 0600);   // refuses an existing path
//   file->write(bytes);
//   file->seek(0);
//   file->read(buffer);   // switching between writing and reading is taken care of
//   if (!file->flush()) { ... }

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>

namespace orvanpush::platform {

/// A file's bytes at a current position. Used by one thread at a time.
class RandomAccessFile {
  public:
    virtual ~RandomAccessFile() = default;

    /// Moves the position to `offset`. False on failure.
    virtual bool seek(std::uint64_t offset) = 0;
    /// The current size in bytes, buffered writes included; nothing on failure.
    virtual std::optional<std::uint64_t> size() = 0;
    /// Reads up to `buffer.size()` bytes at the position and moves past them; returns how many
    /// were read: fewer only at the end of the file or on failure.
    virtual std::size_t read(std::span<std::uint8_t> buffer) = 0;
    /// Writes all of `bytes` at the position (possibly into a buffer) and moves past them.
    /// False when they could not all be written.
    virtual bool write(std::span<const std::uint8_t> bytes) = 0;
    /// Hands buffered writes to the system. False on failure (a full disk, a size limit).
    virtual bool flush() = 0;
    /// Cuts the file to `size` bytes and moves the position there. Buffered writes are flushed
    /// first; those that cannot be are dropped, since truncation is how a failed write is
    /// taken back. False on failure.
    virtual bool truncate(std::uint64_t size) = 0;
};

/// A file through a fully buffered standard-I/O stream (16384-byte buffer).
class BufferedFile final : public RandomAccessFile {
  public:
    enum class Access { read, readWrite };

    /// Opens an existing regular file ("rb" or "rb+"), following a symbolic link only when
    /// `followLinks` says so. Nothing when it is missing, unreadable or not a regular file
    /// (a FIFO is refused rather than waited on).
    static std::unique_ptr<BufferedFile> open(const std::filesystem::path& path, Access access,
                                              bool followLinks = true);
    /// Creates a new regular file with `permissions`, open for reading and writing; nothing
    /// when the path already exists (even as a dangling symbolic link) or cannot be created.
    static std::unique_ptr<BufferedFile> createExclusive(const std::filesystem::path& path,
                                                         mode_t permissions);

    struct Token {
      private:
        friend class BufferedFile;
        Token() = default;
    };
    /// Use `open` or `createExclusive`.
    BufferedFile(Token, std::FILE* file);
    ~BufferedFile() override;
    BufferedFile(const BufferedFile&) = delete;
    BufferedFile& operator=(const BufferedFile&) = delete;

    bool seek(std::uint64_t offset) override;
    std::optional<std::uint64_t> size() override;
    std::size_t read(std::span<std::uint8_t> buffer) override;
    bool write(std::span<const std::uint8_t> bytes) override;
    bool flush() override;
    bool truncate(std::uint64_t size) override;

  private:
    enum class LastOperation { none, read, write };

    struct Closer {
        void operator()(std::FILE* file) const;
    };

    /// A stream that is both read and written must be repositioned between the two.
    bool switchTo(LastOperation next);

    std::unique_ptr<std::FILE, Closer> file_;
    LastOperation last_ = LastOperation::none;
};

}  // namespace orvanpush::platform
