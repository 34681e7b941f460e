#include <vector>

#include <gtest/gtest.h>

#include "orvanpush/SettingReceiver.h"
#include "orvanpush/platform/Console.h"
#include "security/KeyChainUtil.h"

namespace orvanpush {
namespace {

using detail::KeyChain;

Bytes bytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

TEST(PushSDKv1SettingReceiver, AnswersFromItsGroupAndKeepsTheItem) {
    ASSERT_EQ(KeyChain::save("serverAddressKey", bytes("push.example.com"), "v1-keep"), 0);
    ASSERT_EQ(KeyChain::save("serverAddressKey", bytes("other.example.com"), "v1-other"), 0);
    PushSDKv1SettingReceiver receiver("v1-keep", false);
    EXPECT_EQ(receiver.getServerAddress(), "push.example.com");
    EXPECT_EQ(receiver.getServerAddress(), "push.example.com");
    EXPECT_EQ(receiver.getServerPort(), std::nullopt);
}

TEST(PushSDKv1SettingReceiver, RemovesAnItemOnceReadAndSaysSo) {
    ASSERT_EQ(KeyChain::save("tokenKey", bytes("token-1"), "v1-remove"), 0);
    ASSERT_EQ(KeyChain::save("tokenKey", bytes("token-2"), "v1-neighbour"), 0);
    std::vector<std::string> console;  // the receiver prints on the calling thread
    platform::Console::redirect([&console](std::string_view line) { console.emplace_back(line); });
    PushSDKv1SettingReceiver receiver("v1-remove", true);

    EXPECT_EQ(receiver.getToken(), "token-1");
    EXPECT_EQ(receiver.getToken(), std::nullopt);
    platform::Console::redirect({});
    EXPECT_EQ(console, std::vector<std::string>{"Value for key \"tokenKey\" successfully removed"});
    // Another instance's item under the same key is still there to be carried over.
    EXPECT_EQ(PushSDKv1SettingReceiver("v1-neighbour", false).getToken(), "token-2");
}

TEST(PushSDKv1SettingReceiver, TextThatIsNotUtf8IsNoAnswer) {
    ASSERT_EQ(KeyChain::save("serverLoginKey", Bytes{0xFF, 0xFE}, "v1-binary"), 0);
    EXPECT_EQ(PushSDKv1SettingReceiver("v1-binary", false).getServerLogin(), std::nullopt);
}

TEST(PushSDKv1SettingReceiver, WithoutIdentifierAnyGroupAnswers) {
    ASSERT_EQ(KeyChain::save("storageDaysLimit", bytes("14"), "v1-anywhere"), 0);
    EXPECT_EQ(PushSDKv1SettingReceiver(std::nullopt, false).getStorageDaysLimit(), "14");
}

}  // namespace
}  // namespace orvanpush
