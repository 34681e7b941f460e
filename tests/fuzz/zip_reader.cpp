// The ZIP reader on arbitrary bytes: opening, iterating, looking an entry up and extracting every
// entry to memory, then opening the bytes for update and adding an entry. Every failure must be
// a ZipError; an archive that took an entry must read back whole, the new entry included.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "FuzzSupport.h"
#include "orvanpush/zip/Archive.h"

namespace {

using namespace orvanpush;
using namespace orvanpush::zip;

constexpr std::string_view kAddedName = "added/entry.txt";
constexpr std::string_view kAddedContent = "content of the added entry";

using fuzz::require;

// Extracts `entry` and returns its content; a decoder never hands out more than the stated size.
Bytes contentOf(const Archive& archive, const Entry& entry) {
    Bytes content;
    archive.extract(entry, [&](std::span<const std::uint8_t> piece) {
        content.insert(content.end(), piece.begin(), piece.end());
        require(content.size() <= entry.uncompressedSize());
    });
    return content;
}

void readWhole(Bytes bytes) {
    std::unique_ptr<Archive> archive;
    try {
        archive = Archive::openOrThrow(std::move(bytes), Archive::AccessMode::read);
        bool first = true;
        for (const Entry& entry : *archive) {
            const std::string path = entry.path();
            entry.path(TextEncoding::isoLatin1);
            entry.permissions();
            entry.modificationDate();
            if (std::exchange(first, false)) {
                require(archive->find(path).has_value());
            }
            try {
                const Bytes content = contentOf(*archive, entry);
                require(entry.type() == Entry::EntryType::directory ||
                        content.size() == entry.uncompressedSize());
            } catch (const ZipError&) {
            }
        }
    } catch (const ZipError&) {
    }
}

void addOne(Bytes bytes) {
    std::optional<Bytes> updated;
    try {
        auto archive = Archive::openOrThrow(std::move(bytes), Archive::AccessMode::update);
        archive->addEntry(kAddedName, Entry::EntryType::file, kAddedContent.size(), Date(),
                          std::nullopt, CompressionMethod::deflate, Archive::defaultWriteChunkSize,
                          nullptr, [](std::uint64_t position, std::size_t length) {
                              const auto piece = kAddedContent.substr(position, length);
                              return Bytes(piece.begin(), piece.end());
                          });
        updated = archive->data();
    } catch (const ZipError&) {
        return;
    }
    const auto archive = Archive::openOrThrow(std::move(*updated), Archive::AccessMode::read);
    std::optional<Entry> last;
    for (const Entry& entry : *archive) {
        last = entry;
    }
    require(last && last->path() == kAddedName);
    const Bytes content = contentOf(*archive, *last);
    require(std::string_view(reinterpret_cast<const char*>(content.data()), content.size()) ==
            kAddedContent);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Bytes bytes(data, data + size);
    readWhole(bytes);
    addOne(bytes);
    return 0;
}
