#include "sdk/SubscriptionTurn.h"

#include <thread>
#include <utility>

#include "platform/Home.h"
#include "platform/OutstandingWork.h"

namespace orvanpush::detail {
namespace {

// How often a waiting operation looks for its turn.
constexpr std::chrono::milliseconds pollInterval{5};

SubscriptionTurn::Held tryTake(const std::string& identifier) {
    return platform::FileTurn::tryTake(platform::Home::turnFile(identifier));
}

}  // namespace

void SubscriptionTurn::take(const std::string& identifier, std::chrono::milliseconds timeLimit,
                            std::function<void(Held)> start,
                            std::function<void(const std::string& reason)> gaveUp) {
    if (auto turn = tryTake(identifier)) {
        start(std::move(turn));
        return;
    }
    std::thread([identifier, start = std::move(start), gaveUp = std::move(gaveUp),
                 deadline = std::chrono::steady_clock::now() + timeLimit,
                 work = platform::OutstandingWork::begin()] {
        try {
            for (;;) {
                if (auto turn = tryTake(identifier)) {
                    start(std::move(turn));
                    return;
                }
                if (std::chrono::steady_clock::now() >= deadline) {
                    break;
                }
                std::this_thread::sleep_for(pollInterval);
            }
        } catch (const std::exception& error) {
            gaveUp(error.what());
            return;
        } catch (...) {
            // The host's header manager runs here and may throw anything.
            gaveUp("The operation failed with an exception of an unknown type");
            return;
        }
        gaveUp(busyText);
    }).detach();
}

}  // namespace orvanpush::detail
