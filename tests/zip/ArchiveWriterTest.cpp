#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <fstream>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "orvanpush/zip/Archive.h"
#include "orvanpush/zip/Crc32.h"
#include "orvanpush/zip/ZipItem.h"
#include "support/TestHome.h"
#include "zip/ZipTestSupport.h"

namespace orvanpush::zip {
namespace {

namespace fs = std::filesystem;
using namespace testing;

using Kind = ArchiveError::Kind;
using Names = std::set<std::string>;

Names entryNames(const Json& info) {
    Names names;
    for (const auto& entry : info["entries"]) {
        names.insert(entry["name"].get<std::string>());
    }
    return names;
}

void expectFields(const Json& actual, const Json& expected) {
    for (const auto& [field, value] : expected.items()) {
        EXPECT_EQ(actual[field], value) << field;
    }
}

class ArchiveWriterTest : public ::testing::Test {
  protected:
    const fs::path& dir() const { return temp_.path(); }
    fs::path at(const std::string& name) const { return dir() / name; }

    /// A new archive at `name` holding one deflated entry "first.log".
    std::unique_ptr<Archive> oneEntryArchive(const std::string& name = "archive.zip") {
        auto archive = Archive::open(at(name), Archive::AccessMode::create);
        EXPECT_TRUE(archive);
        addBytes(*archive, "first.log", first_, CompressionMethod::deflate);
        return archive;
    }

    const Bytes first_ = logText(50000);

  private:
    orvanpush::testing::TempDirectory temp_;
};

TEST_F(ArchiveWriterTest, ASingleFileHasTheFieldsStandardToolsExpect) {
    const Bytes content = logText(100000);
    writeFile(at("log.txt"), content);
    fs::permissions(at("log.txt"), fs::perms(0644));
    fs::last_write_time(at("log.txt"),
                        std::chrono::file_clock::from_sys(dateOf(2023, 6, 15, 23, 59, 58)));

    zipItem(at("log.txt"), at("log.zip"), true, CompressionMethod::deflate);

    const Json info = checked(at("log.zip"));
    ASSERT_EQ(info["entries"].size(), 1u);
    const Json& entry = info["entries"][0];
    // The date broken down in UTC, although local time is already the next day.
    expectFields(entry, {{"name", "log.txt"},
                         {"contentCrc", crc32(content)},
                         {"contentSize", content.size()},
                         {"dateTime", {2023, 6, 15, 23, 59, 58}}});
    // Made by Unix 2.1 (0x0315), UTF-8 names (0x0800), -rw-r--r-- (0x81A40000).
    expectFields(entry["central"], Json::parse(R"({"compressionMethod": 8,
        "versionNeededToExtract": 20, "versionMadeBy": 789, "generalPurposeBitFlag": 2048,
        "extraFieldLength": 0, "fileCommentLength": 0, "externalFileAttributes": 2175008768,
        "relativeOffsetOfLocalHeader": 0})"));
    // Nothing between the directory and the end record, and nothing after it.
    const Json& end = info["end"];
    expectFields(end, {{"totalNumberOfEntriesOnDisk", 1},
                       {"totalNumberOfEntriesInCentralDirectory", 1},
                       {"zipFileCommentLength", 0},
                       {"centralDirectoryEnd", end["offset"]},
                       {"fileSize", end["offset"].get<int>() + 22}});
    EXPECT_EQ(fs::status(at("log.zip")).permissions(), fs::perms(0600));
}

// Every name is flagged UTF-8; a directory is stored with no data (a deflated empty directory
// is no valid stream), an empty deflated file holds the final empty block alone.
TEST_F(ArchiveWriterTest, DirectoriesGiveTheEntryNamesOfTheirItems) {
    fs::create_directories(at("logs/sub"));
    writeFile(at("logs/журнал é.log"), logText(1000));
    writeFile(at("logs/b.log"), randomBytes(2000));
    writeFile(at("logs/sub/c.log"), Bytes());
    const Names kept = {"logs/журнал é.log", "logs/b.log", "logs/sub/", "logs/sub/c.log"};
    const Names bare = {"журнал é.log", "b.log", "sub/", "sub/c.log"};
    const auto none = CompressionMethod::none;
    const auto deflate = CompressionMethod::deflate;
    const std::vector<std::tuple<std::string, bool, CompressionMethod, Names>> cases = {
        {"logs", true, deflate, kept}, {"logs/", true, deflate, kept},
        {"logs//", true, none, kept},  {"logs", false, deflate, bare},
        {"logs/", false, none, bare},
    };
    int index = 0;
    for (const auto& [source, keepParent, method, names] : cases) {
        SCOPED_TRACE(source + (keepParent ? " keeping its parent " : " ") + toString(method));
        const fs::path archive = at(std::to_string(index++) + ".zip");
        zipItem(dir() / source, archive, keepParent, method);
        const Json info = checked(archive);
        EXPECT_EQ(entryNames(info), names);
        for (const auto& entry : info["entries"]) {
            const Json& central = entry["central"];
            EXPECT_EQ(central["generalPurposeBitFlag"], 0x0800);
            if (entry["isDir"].get<bool>()) {
                expectFields(central, {{"compressionMethod", 0},
                                       {"compressedSize", 0},
                                       {"uncompressedSize", 0},
                                       {"crc32", 0}});
                EXPECT_EQ(central["externalFileAttributes"].get<std::uint32_t>() >> 28, 04u);
            } else {
                EXPECT_EQ(central["compressionMethod"], static_cast<int>(method));
                if (entry["contentSize"] == 0) {
                    EXPECT_EQ(central["compressedSize"], method == deflate ? 2 : 0);
                }
            }
        }
    }
}

TEST_F(ArchiveWriterTest, DatesOutsideTheDosRangeAreClampedToIt) {
    const std::vector<std::pair<Date, std::vector<int>>> cases = {
        {dateOf(1975, 3, 4, 5, 6, 8), {1980, 3, 4, 5, 6, 8}},
        {dateOf(2150, 7, 8, 9, 10, 12), {2099, 7, 8, 9, 10, 12}},
        {dateOf(2023, 12, 31, 23, 59, 59) + std::chrono::milliseconds(900),
         {2023, 12, 31, 23, 59, 58}},
        {dateOf(1969, 12, 31, 23, 59, 59) + std::chrono::milliseconds(500),
         {1980, 1, 1, 0, 0, 0}},  // truncated toward zero: the first second of 1970
    };
    auto archive = Archive::open(at("dates.zip"), Archive::AccessMode::create);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        addBytes(*archive, "entry" + std::to_string(i), {}, CompressionMethod::none, nullptr,
                 cases[i].first);
    }
    const Json info = inspect(at("dates.zip"));
    ASSERT_EQ(info["entries"].size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(info["entries"][i]["dateTime"], Json(cases[i].second)) << "entry " << i;
    }
    // Read back as UTC.
    auto reader = Archive::open(at("dates.zip"), Archive::AccessMode::read);
    EXPECT_EQ(reader->find("entry0")->modificationDate(), dateOf(1980, 3, 4, 5, 6, 8));
    EXPECT_EQ(reader->find("entry1")->modificationDate(), dateOf(2099, 7, 8, 9, 10, 12));
}

// Whatever stops the second entry, the archive is byte for byte the one-entry archive and
// stays usable.
TEST_F(ArchiveWriterTest, AFailedOrCancelledAddLeavesTheArchiveAsItWas) {
    const Bytes second = randomBytes(100000);
    enum class Stop { cancelFromAnotherThread, providerThrows, shortPiece, fileShrinks, sizeLimit };
    int index = 0;
    for (auto method : {CompressionMethod::none, CompressionMethod::deflate}) {
        for (auto stop : {Stop::cancelFromAnotherThread, Stop::providerThrows, Stop::shortPiece,
                          Stop::fileShrinks, Stop::sizeLimit}) {
            SCOPED_TRACE(::testing::Message() << toString(method) << ", stop " << int(stop));
            const std::string name = std::to_string(index++) + ".zip";
            auto archive = oneEntryArchive(name);
            const Bytes before = readFile(at(name));
            writeFile(at("second.bin"), second);

            // The observer of a cancelled add waits until the other thread has cancelled it.
            auto progress = std::make_shared<Progress>();
            orvanpush::testing::Event reached;
            orvanpush::testing::Event cancelled;
            std::thread canceller([&] {
                if (stop == Stop::cancelFromAnotherThread && reached.wait()) {
                    progress->cancel();
                }
                cancelled.notify();
            });
            progress->setObserver([&](const Progress& p) {
                if (p.completedUnitCount() < 32768 || p.isCancelled()) {
                    return;
                }
                if (stop == Stop::cancelFromAnotherThread) {
                    reached.notify();
                    cancelled.wait();
                } else if (stop == Stop::fileShrinks) {
                    fs::resize_file(at("second.bin"), 20000);
                }
            });
            auto provider = [&](std::uint64_t position, std::size_t length) {
                if (stop == Stop::shortPiece && position >= 32768) {
                    return Bytes(length / 2);
                }
                if (stop == Stop::providerThrows && position >= 32768) {
                    throw std::runtime_error("the source went away");
                }
                return providerOf(second)(position, length);
            };
            auto add = [&] {
                if (stop == Stop::fileShrinks) {
                    archive->addEntry("second.bin", dir(), method, 16384, progress);
                } else {
                    archive->addEntry("second.bin", Entry::EntryType::file, second.size(), Date(),
                                      std::nullopt, method, 16384, progress, provider);
                }
            };
            if (stop == Stop::cancelFromAnotherThread) {
                expectError<ArchiveError>(Kind::cancelledOperation, add);
            } else if (stop == Stop::providerThrows) {
                EXPECT_THROW(add(), std::runtime_error);
            } else if (stop == Stop::sizeLimit) {
                // The write that goes past the process's file size limit fails.
                struct rlimit saved {};
                ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
                const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
                struct rlimit limited = saved;
                limited.rlim_cur = before.size() + 50000;
                ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
                expectError<DataError>(DataError::Kind::unwritableFile, add);
                ::setrlimit(RLIMIT_FSIZE, &saved);
                std::signal(SIGXFSZ, previousHandler);
            } else {
                expectError<DataError>(DataError::Kind::unreadableFile, add);
            }
            reached.notify();
            canceller.join();
            EXPECT_EQ(readFile(at(name)), before);

            // The stream was put back where the directory starts: the next add fits seamlessly.
            addBytes(*archive, "third.bin", second, method);
            EXPECT_EQ(entryNames(checked(at(name))), (Names{"first.log", "third.bin"}));
        }
    }
}

TEST_F(ArchiveWriterTest, InputsThatCannotBeWrittenAreRefusedBeforeAnyByte) {
    auto archive = oneEntryArchive();
    const Bytes before = readFile(at("archive.zip"));
    auto add = [&](std::string path, std::uint64_t size,
                   CompressionMethod method = CompressionMethod::none) {
        return [&archive, path, size, method] {
            archive->addEntry(path, Entry::EntryType::file, size, Date(), std::nullopt, method,
                              16384, nullptr,
                              [](std::uint64_t, std::size_t length) { return Bytes(length); });
        };
    };
    for (const std::string& name :
         {std::string(), std::string("a\0b", 3), std::string("\xff.log"),
          std::string("/etc/passwd"), std::string(".."), std::string("../a.log"),
          std::string("logs/../../a.log"), std::string(65536, 'n')}) {
        expectError<ArchiveError>(Kind::invalidEntryPath, add(name, 1));
    }
    expectError<ArchiveError>(Kind::invalidEntrySize, add("big", 0xFFFFFFFF));
    expectError<ArchiveError>(Kind::invalidCompressionMethod,
                              add("odd", 1, static_cast<CompressionMethod>(12)));
    EXPECT_THROW(archive->addEntry("zero", Entry::EntryType::file, 1, Date(), std::nullopt,
                                   CompressionMethod::none, 0, nullptr, providerOf({0})),
                 std::invalid_argument);
    EXPECT_EQ(readFile(at("archive.zip")), before);

    // The longest name fits.
    add(std::string(65535, 'n'), 1)();
    auto reader = Archive::open(at("archive.zip"), Archive::AccessMode::read);
    EXPECT_TRUE(reader->find(std::string(65535, 'n')));
    expectError<ArchiveError>(Kind::unwritableArchive, [&] { addBytes(*reader, "more", {}); });
}

TEST_F(ArchiveWriterTest, TheEntryCountAndTheDirectoryOffsetStopAtTheirLimits) {
    pythonZip(at("many.zip"), "    for i in range(65534):\n        z.writestr(str(i), b'')\n");
    auto archive = Archive::open(at("many.zip"), Archive::AccessMode::update);
    ASSERT_TRUE(archive);
    addBytes(*archive, "last", {});
    EXPECT_EQ(archive->endOfCentralDirectoryRecord().totalNumberOfEntriesInCentralDirectory, 65535);
    const Bytes full = readFile(at("many.zip"));
    expectError<ArchiveError>(Kind::tooManyEntries,
                              [&] { addBytes(*archive, "one too many", {}); });
    EXPECT_EQ(readFile(at("many.zip")), full);

    // An empty archive whose directory starts just below 4 GiB; the bytes before it are a hole.
    const std::uint64_t start = 0xFFFFFF00;
    {
        Bytes end = *Archive::open(Bytes(), Archive::AccessMode::create)->data();
        for (int i = 0; i < 4; ++i) {
            end[16 + i] = static_cast<std::uint8_t>(start >> (8 * i));
        }
        std::ofstream out(at("huge.zip"), std::ios::binary);
        out.seekp(static_cast<std::streamoff>(start));
        out.write(reinterpret_cast<const char*>(end.data()),
                  static_cast<std::streamsize>(end.size()));
    }
    archive = Archive::open(at("huge.zip"), Archive::AccessMode::update);
    ASSERT_TRUE(archive);
    expectError<ArchiveError>(Kind::invalidStartOfCentralDirectoryOffset,
                              [&] { addBytes(*archive, "over.bin", randomBytes(1000)); });
    EXPECT_EQ(fs::file_size(at("huge.zip")), start + 22);
    EXPECT_EQ(archive->endOfCentralDirectoryRecord().offsetToStartOfCentralDirectory, start);
    auto reopened = Archive::open(at("huge.zip"), Archive::AccessMode::read);
    ASSERT_TRUE(reopened);
    EXPECT_EQ(reopened->endOfCentralDirectoryRecord().offsetToStartOfCentralDirectory, start);
}

TEST_F(ArchiveWriterTest, SourcesThatEscapeRecurseOrCannotBeZippedAndExistingDestinations) {
    fs::create_directories(at("logs"));
    fs::create_directories(at("other"));
    writeFile(at("logs/a.log"), logText(1000));
    writeFile(at("other/secret.txt"), std::string("not below logs"));
    fs::create_directory_symlink("../other", at("logs/linked"));

    // The archive is written inside the directory it zips, and the link is not followed.
    zipItem(at("logs"), at("logs/self.zip"), true, CompressionMethod::deflate);
    const Json info = checked(at("logs/self.zip"));
    EXPECT_EQ(entryNames(info), (Names{"logs/a.log", "logs/linked"}));
    for (const auto& entry : info["entries"]) {
        if (entry["name"] == "logs/linked") {
            EXPECT_EQ(entry["central"]["externalFileAttributes"].get<std::uint32_t>() >> 28, 012u);
            EXPECT_EQ(entry["central"]["compressionMethod"], 0);
            EXPECT_EQ(entry["contentSize"], 8);  // "../other"
        }
    }

    // Whatever fails, the archive begun is removed and an existing destination left as it is.
    // A FIFO has no contents to take: the zip fails at once, never waiting for a writer.
    fs::create_directories(at("named"));
    writeFile(at("named/a.log"), logText(10));
    writeFile(at("named/caf\xe9.log"), logText(10));
    ASSERT_EQ(::mkfifo(at("logs/z.fifo").c_str(), 0600), 0);
    const std::pair<fs::path, std::string> failures[] = {
        {at("logs/."), "invalidEntryPath"},
        {at("logs/.."), "invalidEntryPath"},
        {"/", "invalidEntryPath"},
        {at("named"), R"(invalidEntryPath: "named/caf\xe9.log")"},
        {at("missing.log"), "fileReadNoSuchFile"},
        {at("logs"), "unreadableFile"},
        {at("logs/a.log"), "fileWriteFileExists: " + at("taken.zip").string()}};
    writeFile(at("taken.zip"), std::string("someone else's"));
    const Bytes kept = readFile(at("taken.zip"));
    for (const auto& [source, error] : failures) {
        const fs::path destination = at(error.starts_with("fileWrite") ? "taken.zip" : "out.zip");
        try {
            zipItem(source, destination);
            ADD_FAILURE() << source << " was zipped";
        } catch (const ZipError& thrown) {
            EXPECT_EQ(std::string(thrown.what()).substr(0, error.size()), error);
        }
        EXPECT_FALSE(fs::exists(at("out.zip")));
    }
    EXPECT_EQ(readFile(at("taken.zip")), kept);
}

TEST_F(ArchiveWriterTest, UpdatingAnArchiveAnotherToolWroteKeepsItsEntriesAndComment) {
    pythonZip(at("foreign.zip"),
              "    z.writestr('first.txt', 'made elsewhere ' * 100)\n"
              "    z.comment = b'kept comment'\n",
              "'w', zipfile.ZIP_DEFLATED");
    auto archive = Archive::open(at("foreign.zip"), Archive::AccessMode::update);
    ASSERT_TRUE(archive);
    addBytes(*archive, "second.log", logText(20000), CompressionMethod::deflate);
    archive.reset();

    const Json info = checked(at("foreign.zip"));
    EXPECT_EQ(entryNames(info), (Names{"first.txt", "second.log"}));
    EXPECT_EQ(info["comment"], "6b65707420636f6d6d656e74");
}

TEST_F(ArchiveWriterTest, ArchivesInMemory) {
    EXPECT_FALSE(Archive::open(Bytes{1, 2, 3}, Archive::AccessMode::create));
    EXPECT_FALSE(Archive::open(Bytes(100, 0), Archive::AccessMode::read));

    auto archive = Archive::open(Bytes(), Archive::AccessMode::create);
    ASSERT_TRUE(archive);
    const Bytes content = logText(30000);
    // A directory counts as one unit of progress, done once it is written.
    auto progress = std::make_shared<Progress>();
    archive->addEntry("dir", Entry::EntryType::directory, 0, Date(), std::nullopt,
                      CompressionMethod::deflate, 16384, progress, providerOf({}));
    EXPECT_DOUBLE_EQ(progress->fractionCompleted(), 1.0);
    archive->addEntry("dir/a.log", Entry::EntryType::file, content.size(), Date(), 0600,
                      CompressionMethod::deflate, 16384, nullptr, providerOf(content));
    writeFile(at("memory.zip"), *archive->data());
    EXPECT_TRUE(unzipAccepts(at("memory.zip")));
    EXPECT_FALSE(Archive::open(at("memory.zip"), Archive::AccessMode::read)->data());

    auto reader = Archive::open(*archive->data(), Archive::AccessMode::read);
    std::vector<std::string> names;
    for (const Entry& entry : *reader) {
        names.push_back(entry.path());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"dir/", "dir/a.log"}));
    EXPECT_EQ(reader->find("dir/")->type(), Entry::EntryType::directory);
    EXPECT_EQ(reader->find("dir/")->permissions(), 0755);  // none given
    EXPECT_EQ(reader->find("dir/a.log")->permissions(), 0600);
}

TEST(ProgressTest, ChildrenCountTowardTheirParentAndAreCancelledWithIt) {
    auto parent = std::make_shared<Progress>(100);
    int notified = 0;
    parent->setObserver([&](const Progress&) { ++notified; });
    auto first = Progress::makeChild(parent, 60);
    auto second = Progress::makeChild(parent, 40);
    first->setTotalUnitCount(1000);
    first->setCompletedUnitCount(500);
    EXPECT_DOUBLE_EQ(parent->fractionCompleted(), 0.3);
    EXPECT_EQ(parent->completedUnitCount(), 0);

    first->setCompletedUnitCount(1000);  // finished: its units join the parent's count
    EXPECT_EQ(parent->completedUnitCount(), 60);
    second->setTotalUnitCount(1);
    second->setCompletedUnitCount(1);
    EXPECT_EQ(parent->completedUnitCount(), 100);
    EXPECT_DOUBLE_EQ(parent->fractionCompleted(), 1.0);
    EXPECT_GE(notified, 5);

    // Cancelling a parent cancels its children.
    EXPECT_FALSE(first->isCancelled());
    parent->cancel();
    EXPECT_TRUE(first->isCancelled() && parent->isCancelled());
    EXPECT_DOUBLE_EQ(Progress().fractionCompleted(), 0.0);
}

}  // namespace
}  // namespace orvanpush::zip
