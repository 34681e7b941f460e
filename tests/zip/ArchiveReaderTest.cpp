#include <climits>

#include <algorithm>
#include <array>

#include <gtest/gtest.h>

#include "orvanpush/zip/Archive.h"
#include "orvanpush/zip/Crc32.h"
#include "orvanpush/zip/ZipItem.h"
#include "support/SqliteOracle.h"
#include "support/TestHome.h"
#include "zip/EntryName.h"
#include "zip/ZipTestSupport.h"

namespace orvanpush::zip {
namespace {

namespace fs = std::filesystem;
using namespace testing;

using Kind = ArchiveError::Kind;

Bytes contentOf(const Archive& archive, const Entry& entry, bool skipCRC32 = false) {
    Bytes content;
    archive.extract(
        entry,
        [&](std::span<const std::uint8_t> piece) {
            content.insert(content.end(), piece.begin(), piece.end());
        },
        Archive::defaultReadChunkSize, skipCRC32);
    return content;
}

// Replaces every occurrence of `from` in the file by `to` (same length).
void patch(const fs::path& path, const std::string& from, const std::string& to) {
    Bytes bytes = readFile(path);
    const Bytes needle(from.begin(), from.end());
    for (auto at = bytes.begin();
         (at = std::search(at, bytes.end(), needle.begin(), needle.end())) != bytes.end();) {
        at = std::copy(to.begin(), to.end(), at);
    }
    writeFile(path, bytes);
}

// Python lines adding to zipfile `z` the link "link" to `target` (a Python expression).
std::string linkEntry(const std::string& target) {
    return "    i = zipfile.ZipInfo('link')\n    i.create_system = 3\n"
           "    i.external_attr = 0o120777 << 16\n    z.writestr(i, " +
           target + ")\n";
}

class ArchiveReaderTest : public ::testing::Test {
  protected:
    fs::path at(const std::string& name) const { return temp_.path() / name; }

  private:
    orvanpush::testing::TempDirectory temp_;
};

TEST_F(ArchiveReaderTest, ReadsWhatAnotherToolWroteDescriptorsAndNamesWithoutTheUtf8FlagIncluded) {
    // Written to a pipe, zipfile cannot seek back and puts the sizes in data descriptors.
    orvanpush::testing::commandOutput(
        "python3 -c " +
        orvanpush::testing::shellQuoted("import sys, zipfile\n"
                                        "z = zipfile.ZipFile(sys.stdout.buffer, 'w')\n"
                                        "z.writestr('stored.txt', 'plain ' * 1000)\n"
                                        "z.writestr('deflated.txt', 'packed ' * 5000, 8)\n"
                                        "z.writestr('dir/', '')\n"
                                        "def put(name, system, attributes):\n"
                                        "    i = zipfile.ZipInfo(name); i.create_system = system\n"
                                        "    i.external_attr = attributes; z.writestr(i, '')\n"
                                        "put('dosdir', 0, 0x10); put('readonly.txt', 0, 0x01)\n"
                                        "put('bare/', 3, 0o644 << 16)\n"
                                        "z.writestr('журнал.txt', '')\n"
                                        "z.close()\n") +
        " | cat > " + orvanpush::testing::shellQuoted(at("piped.zip").string()));
    auto archive = Archive::open(at("piped.zip"), Archive::AccessMode::read);
    ASSERT_TRUE(archive);
    std::vector<std::string> names;
    for (const Entry& entry : *archive) {
        names.push_back(entry.path());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"stored.txt", "deflated.txt", "dir/", "dosdir",
                                               "readonly.txt", "bare/", "журнал.txt"}));

    const auto deflated = archive->find("deflated.txt");
    ASSERT_TRUE(deflated);
    ASSERT_TRUE(deflated->dataDescriptor);
    EXPECT_EQ(deflated->dataDescriptor->crc32, deflated->checksum());
    EXPECT_EQ(deflated->compressionMethod(), 8);
    const Bytes content = contentOf(*archive, *deflated);
    EXPECT_EQ(content.size(), 35000u);
    EXPECT_EQ(std::string(content.begin(), content.end()).find_first_not_of("packed "),
              std::string::npos);
    EXPECT_EQ(contentOf(*archive, *archive->find("stored.txt")).size(), 6000u);
    EXPECT_EQ(archive->find("dir/")->type(), Entry::EntryType::directory);
    // Without a Unix file type, the DOS attributes and a closing "/" tell what an entry is.
    using enum Entry::EntryType;
    for (const auto& [name, type, permissions] : {std::tuple{"dosdir", directory, 0755},
                                                  {"readonly.txt", file, 0644},
                                                  {"bare/", directory, 0755}}) {
        EXPECT_EQ(archive->find(name)->type(), type) << name;
        EXPECT_EQ(archive->find(name)->permissions(), permissions) << name;
    }
    EXPECT_FALSE(archive->find("missing"));

    const Bytes legacy = {'a', 0x80, 0x81, 0xE1};
    EXPECT_EQ(detail::decodeEntryName(legacy, false, std::nullopt), "aÇüß");
    EXPECT_EQ(detail::decodeEntryName(legacy, false, TextEncoding::isoLatin1), "a\u0080\u0081á");
    const std::string utf8 = "журнал";
    const Bytes utf8Bytes(utf8.begin(), utf8.end());
    EXPECT_EQ(detail::decodeEntryName(utf8Bytes, true, std::nullopt), utf8);
    EXPECT_EQ(detail::decodeEntryName(utf8Bytes, false, TextEncoding::utf8), utf8);
    // A flagged name that is not UTF-8 after all still gives text.
    EXPECT_EQ(detail::decodeEntryName(legacy, true, std::nullopt), "aÇüß");
}

TEST_F(ArchiveReaderTest, ExtractionChecksTheChecksumAndTheStatedSize) {
    const Bytes stored = logText(5000);
    const Bytes zeros(1 << 20, 0);
    {
        auto archive = Archive::open(at("a.zip"), Archive::AccessMode::create);
        addBytes(*archive, "stored.log", stored);
        addBytes(*archive, "zeros.bin", zeros, CompressionMethod::deflate);
    }
    // One changed byte of stored data: the checksum no longer matches.
    patch(at("a.zip"), "[TRACE] storage", "[TRACE] storagE");
    // The deflated megabyte claims to be 1000 bytes, in both headers.
    patch(at("a.zip"), std::string("\x00\x00\x10\x00", 4), std::string("\xe8\x03\x00\x00", 4));

    auto archive = Archive::open(at("a.zip"), Archive::AccessMode::read);
    const auto storedEntry = archive->find("stored.log");
    expectError<ArchiveError>(Kind::invalidCRC32, [&] { contentOf(*archive, *storedEntry); });
    EXPECT_EQ(contentOf(*archive, *storedEntry, true).size(), stored.size());

    const auto bomb = archive->find("zeros.bin");
    ASSERT_EQ(bomb->uncompressedSize(), 1000u);
    std::size_t handedOut = 0;
    expectError<ArchiveError>(Kind::invalidEntrySize, [&] {
        archive->extract(*bomb,
                         [&](std::span<const std::uint8_t> piece) { handedOut += piece.size(); });
    });
    EXPECT_LE(handedOut, 1000u);
}

TEST_F(ArchiveReaderTest, TheEndRecordMustCloseTheFileAndFollowItsDirectory) {
    // A comment ending in something shaped like an end record whose directory lies past it
    // does not mislead the search.
    pythonZip(at("commented.zip"),
              "    z.writestr('real.txt', 'real')\n"
              "    z.comment = b'PK\\x05\\x06' + bytes(12) + (0xFFFFFF00).to_bytes(4, 'little') "
              "+ bytes(2)\n");
    auto commented = Archive::open(at("commented.zip"), Archive::AccessMode::read);
    ASSERT_TRUE(commented);
    EXPECT_TRUE(commented->find("real.txt"));
    EXPECT_EQ(commented->endOfCentralDirectoryRecord().zipFileCommentData.size(), 22u);

    Bytes bytes = readFile(at("commented.zip"));
    bytes.push_back('!');
    writeFile(at("trailing.zip"), bytes);
    EXPECT_FALSE(Archive::open(at("trailing.zip"), Archive::AccessMode::read));

    writeFile(at("short.zip"), Bytes(21, 0));
    EXPECT_FALSE(Archive::open(at("short.zip"), Archive::AccessMode::read));
    EXPECT_FALSE(Archive::open(at("missing.zip"), Archive::AccessMode::read));
}

TEST_F(ArchiveReaderTest, ArchivesWithZip64RecordsAreRefusedClearly) {
    // zipfile keeps more than 65535 entries in ZIP64 records; their first 65535 must not pass
    // for the whole archive.
    pythonZip(at("many.zip"), "    for i in range(70000):\n        z.writestr(str(i), b'')\n");
    for (const auto mode : {Archive::AccessMode::read, Archive::AccessMode::update}) {
        const auto text = expectError<ArchiveError>(
            Kind::unsupportedZip64, [&] { Archive::openOrThrow(at("many.zip"), mode); });
        EXPECT_NE(text.find(at("many.zip").string()), std::string::npos);
        EXPECT_FALSE(Archive::open(at("many.zip"), mode));
    }
    expectError<ArchiveError>(Kind::unsupportedZip64,
                              [&] { unzipItem(at("many.zip"), at("out")); });
    EXPECT_FALSE(fs::exists(at("out")));
}

TEST_F(ArchiveReaderTest, ADirectoryThatDoesNotMeetItsEndRecordOrCountIsRefused) {
    pythonZip(
        at("good.zip"),
        "    z.writestr('a.txt', 'first ' * 100)\n    z.writestr('b.txt', 'second ' * 100)\n");
    const Bytes good = readFile(at("good.zip"));
    const std::size_t end = good.size() - 22;
    const std::uint32_t directorySize = good[end + 12] | good[end + 13] << 8;
    const std::uint32_t directoryStart = good[end + 16] | good[end + 17] << 8;
    struct Case {
        std::string name;
        std::vector<std::array<std::uint32_t, 3>> fields;  // offset in the end record, value, size
        bool refusedByReaders;  // else opened for reading, and refused when iterated
    };
    const std::vector<Case> cases = {
        {"garbage before the end record", {}, true},
        {"a directory overlapping the end record", {{12, directorySize + 1, 4}}, true},
        {"a second disk", {{4, 1, 2}}, true},
        {"a directory starting inside entry data",
         {{12, directorySize + 10, 4}, {16, directoryStart - 10, 4}},
         false},
        {"a count one short", {{8, 1, 2}, {10, 1, 2}}, false},
        {"a count one over", {{8, 3, 2}, {10, 3, 2}}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes bytes = good;
        if (c.fields.empty()) {
            bytes.insert(bytes.begin() + end, {'x', 'x', 'x'});
        }
        for (const auto& [offset, value, size] : c.fields) {
            for (std::uint32_t i = 0; i < size; ++i) {
                bytes[end + offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
            }
        }
        writeFile(at("bad.zip"), bytes);
        expectError<ArchiveError>(Kind::unreadableArchive, [&] {
            auto reader = Archive::openOrThrow(at("bad.zip"), Archive::AccessMode::read);
            EXPECT_FALSE(c.refusedByReaders);
            std::for_each(reader->begin(), reader->end(), [](const Entry&) {});
        });
        // Opening to add must find every record, or the add would write over what it missed.
        expectError<ArchiveError>(Kind::unreadableArchive, [&] {
            Archive::openOrThrow(at("bad.zip"), Archive::AccessMode::update);
        });
        EXPECT_EQ(readFile(at("bad.zip")), bytes);
    }
}

TEST_F(ArchiveReaderTest, ALinkTargetLongerThanAPathIsRefusedBeforeItIsRead) {
    for (const std::size_t length : {4095u, 4096u, 1000000u}) {
        SCOPED_TRACE(length);
        const auto name = "link" + std::to_string(length);
        pythonZip(at(name + ".zip"), linkEntry("'a' * " + std::to_string(length)),
                  "'w', zipfile.ZIP_DEFLATED");
        if (length < PATH_MAX) {
            unzipItem(at(name + ".zip"), at(name));
            EXPECT_EQ(fs::read_symlink(at(name + "/link")).native().size(), length);
            continue;
        }
        expectError<ArchiveError>(Kind::invalidEntrySize,
                                  [&] { unzipItem(at(name + ".zip"), at(name)); });
        EXPECT_FALSE(fs::exists(fs::symlink_status(at(name + "/link"))));
    }
}

TEST_F(ArchiveReaderTest, UnzipRestoresWhatWasZipped) {
    fs::create_directories(at("logs/sub/deeper"));
    const Bytes a = logText(70000);
    const Bytes b = randomBytes(33333);
    writeFile(at("logs/a.log"), a);
    writeFile(at("logs/sub/b.bin"), b);
    writeFile(at("logs/sub/deeper/empty"), Bytes());
    fs::permissions(at("logs/sub/b.bin"), fs::perms(0640));
    fs::create_symlink("sub/b.bin", at("logs/link"));
    zipItem(at("logs"), at("logs.zip"), true, CompressionMethod::deflate);

    auto progress = std::make_shared<Progress>();
    unzipItem(at("logs.zip"), at("out"), false, progress);
    EXPECT_EQ(readFile(at("out/logs/a.log")), a);
    EXPECT_EQ(readFile(at("out/logs/sub/b.bin")), b);
    EXPECT_TRUE(fs::is_regular_file(at("out/logs/sub/deeper/empty")));
    EXPECT_EQ(fs::read_symlink(at("out/logs/link")), "sub/b.bin");
    EXPECT_EQ(fs::status(at("out/logs/sub/b.bin")).permissions(), fs::perms(0640));
    EXPECT_DOUBLE_EQ(progress->fractionCompleted(), 1.0);

    // Again into the same place: nothing is overwritten.
    expectError<FileError>(FileError::Kind::fileWriteFileExists,
                           [&] { unzipItem(at("logs.zip"), at("out")); });
    EXPECT_EQ(readFile(at("out/logs/a.log")), a);
}

TEST_F(ArchiveReaderTest, EntriesThatWouldLeaveTheDestinationAreRefused) {
    fs::create_directories(at("outside"));
    struct Case {
        std::string name;
        std::string python;  // adds the hostile entries to zipfile `z`
        Kind kind;
    };
    const std::string outside = "'" + at("outside").string() + "'";
    const std::string symlinkEntry = linkEntry(outside);
    const std::vector<Case> cases = {
        {"climbing", "    z.writestr('../outside/evil.txt', 'x')\n", Kind::invalidEntryPath},
        {"climbing later", "    z.writestr('a/../../outside/evil.txt', 'x')\n",
         Kind::invalidEntryPath},
        {"absolute", "    z.writestr(" + outside + " + '/evil.txt', 'x')\n",
         Kind::invalidEntryPath},
        {"through a link", symlinkEntry + "    z.writestr('link/evil.txt', 'x')\n",
         Kind::uncontainedSymlink},
        {"a directory through a link", symlinkEntry + "    z.writestr('link/', '')\n",
         Kind::uncontainedSymlink},
        {"a link target holding NUL", linkEntry("'a\\x00/../x'"), Kind::invalidEntryPath},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path archive = at(std::to_string(index) + ".zip");
        const fs::path destination = at("dest" + std::to_string(index++));
        pythonZip(archive, c.python);
        expectError<ArchiveError>(c.kind, [&] { unzipItem(archive, destination); });
        EXPECT_TRUE(fs::is_empty(at("outside")));
    }

    // A name holding NUL (patched in, as no tool writes one).
    {
        auto archive = Archive::open(at("nul.zip"), Archive::AccessMode::create);
        addBytes(*archive, "aXb", {});
    }
    patch(at("nul.zip"), "aXb", std::string("a\0b", 3));
    EXPECT_THROW(unzipItem(at("nul.zip"), at("dest-nul")), ArchiveError);
    EXPECT_FALSE(fs::exists(at("dest-nul/a")));
}

}  // namespace
}  // namespace orvanpush::zip
