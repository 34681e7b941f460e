// A minute of the application and its extension as the platform runs them: this long-lived
// process is the application (a live controller, reads, reads reported, retention), extension
// processes come one per push, a reader and a subscriber updating its token come and go, and
// some of each are killed at random; the reference server answers. Afterwards independent
// connections check the three shared files and that nothing acknowledged was lost.

#include <signal.h>

#include <atomic>
#include <cstdio>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/Home.h"
#include "sdk/SdkTestSupport.h"
#include "storage/StoreTestSupport.h"

namespace orvanpush::testing {
namespace {

constexpr auto kActivity = 40s;
constexpr const char* kInstance = "soak";
constexpr int kExtensionLanes = 3;

// ---- The application ----

/// What the other processes answered, gathered from their lanes.
struct Outcomes {
    std::mutex mutex;
    std::vector<std::string> acknowledged;
    std::set<std::string> notStored;
    int started = 0;
    int killed = 0;
    int crashed = 0;

    std::optional<std::string> anyAcknowledged(std::mt19937& random) {
        std::lock_guard lock(mutex);
        return acknowledged.empty() ? std::nullopt
                                    : std::optional(acknowledged[random() % acknowledged.size()]);
    }
};

/// Runs receivers (see TwoProcessReceiptTest) of `role` one after another until `deadline`, each
/// following one `command`, a quarter of them killed at a random moment.
void runLane(const std::string& role, std::chrono::steady_clock::time_point deadline,
             const std::function<std::string()>& command, unsigned seed, Outcomes& outcomes) {
    std::mt19937 random(seed);
    while (std::chrono::steady_clock::now() < deadline) {
        ChildProcess child({thisProgram(), "--gtest_filter=ReceiverChild.*"},
                           childEnvironment(kInstance, role));
        child.writeInput(command() + "\n");
        child.closeInput();
        std::thread killer;
        if (std::uniform_int_distribution(0, 3)(random) == 0) {
            const auto after =
                std::chrono::milliseconds(std::uniform_int_distribution(0, 400)(random));
            killer = std::thread([&child, after] {
                std::this_thread::sleep_for(after);
                child.kill(SIGKILL);
            });
        }
        while (auto line = child.readLine()) {
            std::istringstream words(*line);
            std::string outcome, id;
            words >> outcome >> id;
            std::lock_guard lock(outcomes.mutex);
            if (outcome == "acknowledged") {
                outcomes.acknowledged.push_back(id);
            } else if (outcome == "notStored") {
                outcomes.notStored.insert(id);
            }
        }
        if (killer.joinable()) {
            killer.join();
        }
        const int status = child.wait();
        std::lock_guard lock(outcomes.mutex);
        ++outcomes.started;
        outcomes.killed += status == 128 + SIGKILL ? 1 : 0;
        outcomes.crashed += status != 0 && status != 128 + SIGKILL ? 1 : 0;
    }
}

/// The rows of a one-column query of the sqlite3 command.
std::multiset<std::string> rowsOf(const std::filesystem::path& file, const std::string& sql) {
    std::multiset<std::string> rows;
    std::istringstream output(sqliteOutput(file, sql));
    for (std::string line; std::getline(output, line);) {
        rows.insert(line);
    }
    return rows;
}

TEST(SharedFilesHeavyTest, ProcessesComingGoingAndKilledLoseNothing) {
    ReferenceServer server(ORVANPUSH_SERVER);
    const std::string group = "group." + std::string(kInstance);
    Outcomes outcomes;
    // Another process makes the instance's files, subscribes and stores a first message.
    ChildProcess setup({thisProgram(), "--gtest_filter=ReceiverChild.*"},
                       childEnvironment(kInstance, "application"));
    setup.writeInput("create " + std::to_string(server.port()) + "\nsubscribe client-1\n");
    auto line = setup.readLine();
    while (line && !line->starts_with("subscribed ")) {
        line = setup.readLine();
    }
    ASSERT_EQ(line, "subscribed success");
    setup.writeInput("receive setup\n");
    setup.closeInput();
    while (setup.readLine()) {
    }
    ASSERT_EQ(setup.wait(), 0);
    // The application opens the files the other processes made.
    const auto sdk = PushSDK::getInstance(kInstance);
    auto controller = sdk->getFetchedResultsController();

    std::atomic<int> pushes{0};
    std::atomic<int> tokens{0};
    const auto deadline = std::chrono::steady_clock::now() + kActivity;
    std::vector<std::jthread> lanes;
    for (int lane = 0; lane < kExtensionLanes; ++lane) {
        lanes.emplace_back(
            runLane, "extension", deadline, [&] { return "receive m" + std::to_string(pushes++); },
            100 + lane, std::ref(outcomes));
    }
    lanes.emplace_back(
        runLane, "reader", deadline, [] { return std::string("list all"); }, 200,
        std::ref(outcomes));
    lanes.emplace_back(
        runLane, "subscriber", deadline, [&] { return "token token-" + std::to_string(tokens++); },
        300, std::ref(outcomes));

    // The application's own work between the pushes: reads of acknowledged messages (each must
    // be found), a read reported now and then, and retention over messages aged past its limit.
    auto& store = *detail::PushSDKAccess::state(*sdk)->storageUtil->storage();
    std::mt19937 random{12345};
    int misses = 0;
    int oldMessages = 0;
    for (int round = 0; std::chrono::steady_clock::now() < deadline; ++round) {
        if (const auto id = outcomes.anyAcknowledged(random)) {
            Completion<std::shared_ptr<MessageProtocol>> found;
            sdk->getMessageById(*id, found.callback());
            misses += found.first() ? 0 : 1;
            if (std::uniform_int_distribution(0, 9)(random) == 0) {
                ResultCompletion read;
                sdk->onMessageRead(*id, read.callback());
                read.wait();
            }
        }
        if (round % 50 == 0) {
            std::vector<std::shared_ptr<MessageProtocol>> old;
            for (int i = 0; i < 200; ++i) {
                old.push_back(std::make_shared<MessageImp>(
                    messageValue("old" + std::to_string(oldMessages++),
                                 std::chrono::system_clock::now() - std::chrono::hours(24 * 100))));
            }
            store.saveMessages(old);
            store.cleanup(1'000'000, 30);
        }
        std::this_thread::sleep_for(20ms);
    }
    lanes.clear();  // joins them
    waitForTheLibrary();

    // The controller lists every acknowledged message (its refresh follows each commit).
    const std::set<std::string> acknowledged(outcomes.acknowledged.begin(),
                                             outcomes.acknowledged.end());
    EXPECT_TRUE(eventually([&] {
        std::set<std::string> listed;
        for (const auto& message : controller->fetchedObjects()) {
            listed.insert(message->id().value_or(""));
        }
        return std::includes(listed.begin(), listed.end(), acknowledged.begin(),
                             acknowledged.end());
    }));

    const auto messages = storeFile(group);
    for (const auto& file :
         {messages, platform::Home::keychainFile(), platform::Home::defaultsFile(group)}) {
        EXPECT_EQ(sqliteOutput(file, "PRAGMA integrity_check"), "ok\n") << file;
    }
    const auto stored = rowsOf(messages, "SELECT id FROM Message WHERE id LIKE 'm%'");
    const auto statusRows = rowsOf(
        messages, "SELECT DISTINCT messageId || ' ' || statusNameInternal FROM MessageStatus");
    std::vector<std::string> lost;
    for (const auto& id : acknowledged) {
        if (stored.count(id) != 1) {
            lost.push_back(id);
        }
    }
    for (const auto& [report, count] : reportedStatuses(server)) {
        const auto row = report.first + " " + report.second;
        if (count > 0 && !outcomes.notStored.contains(report.first) &&
            !report.first.starts_with("old") && statusRows.count(row) != 1) {
            lost.push_back(row);
        }
    }
    EXPECT_EQ(misses, 0);
    EXPECT_EQ(outcomes.crashed, 0);
    EXPECT_TRUE(outcomes.notStored.empty()) << *outcomes.notStored.begin();

    const auto signedQuery = awaited<SubscriberGetResult>(
        [&](auto done) { sdk->getSubscriberData("device-1", std::nullopt, done); });
    EXPECT_TRUE(signedQuery && signedQuery->getResultKind() == ResultKind::success);
    std::printf(
        "shared files soak: %d processes started, %d killed, %zu receipts acknowledged, "
        "%zu lost\n",
        outcomes.started, outcomes.killed, acknowledged.size(), lost.size());
    EXPECT_THAT(lost, ::testing::IsEmpty());
}

}  // namespace
}  // namespace orvanpush::testing
