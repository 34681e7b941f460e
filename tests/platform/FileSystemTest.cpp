#include "platform/FileSystem.h"

#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/TestHome.h"

namespace orvanpush::platform {
namespace {

// Extension processes of one application log to the same day's file at once: each entry lands
// whole, however long (a buffered stream split anything over its 4 KiB buffer into several
// writes, and the other process's lines landed between them).
TEST(AppendFileTest, LinesOfProcessesAppendingToOneFileNeverInterleave) {
    constexpr int kLinesEach = 200;
    const testing::TempDirectory directory;
    const auto path = directory.path() / "shared.log";
    ASSERT_TRUE(AppendFile::open(path));
    int gate[2];
    ASSERT_EQ(::pipe(gate), 0);
    std::vector<pid_t> writers;
    for (const char mark : {'a', 'b'}) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(gate[1]);
            char none = 0;
            [[maybe_unused]] auto started = ::read(gate[0], &none, 1);  // both start together
            auto file = AppendFile::open(path);
            const std::string line = std::string(5000, mark) + '\n';
            for (int written = 0; file && written < kLinesEach; ++written) {
                file->write(line);
            }
            ::_exit(file ? 0 : 1);
        }
        writers.push_back(pid);
    }
    ::close(gate[0]);
    ::close(gate[1]);
    for (const pid_t writer : writers) {
        int status = -1;
        ::waitpid(writer, &status, 0);
        EXPECT_EQ(status, 0);
    }

    int whole = 0;  // a line broken by another's write leaves fewer whole ones
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);) {
        whole += line == std::string(5000, 'a') || line == std::string(5000, 'b') ? 1 : 0;
    }
    EXPECT_EQ(whole, 2 * kLinesEach);
}

}  // namespace
}  // namespace orvanpush::platform
