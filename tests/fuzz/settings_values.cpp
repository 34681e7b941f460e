// Settings another process wrote, from arbitrary bytes: rows of an instance's settings store
// under the keys the library reads (or any other), with any type tag and any stored value (text
// of any bytes, integer, real or blob), read back through every getter of the store and as the
// instance's configuration. A getter answers a value of its own type or nothing; reading the
// configuration gives it or names the setting it misses.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "orvanpush/OrvanPushSDKError.h"
#include "orvanpush/platform/PlatformConfig.h"
#include "platform/Home.h"
#include "platform/SqliteDatabase.h"
#include "platform/UserDefaults.h"
#include "sdk/InstanceConfiguration.h"
#include "utils/SettingsUtils.h"

using namespace orvanpush;

namespace {

constexpr const char* kSuite = "group.fuzz";
constexpr std::size_t kMostRows = 8;

std::vector<std::string> readKeys() {
    std::vector<std::string> keys;
    for (int setting = 0; setting <= static_cast<int>(detail::Setting::StorageDaysLimit);
         ++setting) {
        keys.push_back(detail::toString(static_cast<detail::Setting>(setting)));
    }
    for (int setting = 0; setting <= static_cast<int>(detail::ClientSetting::Messages); ++setting) {
        keys.push_back(detail::toString(static_cast<detail::ClientSetting>(setting)));
    }
    return keys;
}

// An instance's settings store in a home of its own, and another connection that writes its
// rows as another process would.
class SettingsStore {
  public:
    SettingsStore() {
        auto config = platform::PlatformConfig::fromEnvironment();
        config.home = home_.path();
        platform::PlatformConfig::install(config);
        defaults_ = platform::UserDefaults::suite(kSuite);
        defaults_->set("created", std::string("by the library"));
        writer_ = std::make_unique<platform::SqliteDatabase>(platform::Home::defaultsFile(kSuite));
        settings_ = std::make_unique<detail::SettingsUtils>(
            defaults_, detail::SettingsUtils::SettingReceivers{});
    }

    void write(FuzzedDataProvider& input) {
        writer_->execute("DELETE FROM defaults");
        for (std::size_t row = 0; row < kMostRows && input.remaining_bytes() > 0; ++row) {
            writer_->withConnection([&](platform::SqliteConnection& connection) {
                auto insert = connection.prepare(
                    "INSERT OR REPLACE INTO defaults (key, type, value) VALUES (?1, ?2, ?3)");
                insert.bindText(1, keyFrom(input)).bindText(2, typeFrom(input));
                bindValue(insert, input);
                insert.run();
            });
        }
    }

    void read() const {
        for (const auto& key : keys_) {
            defaults_->string(key);
            defaults_->integer(key);
            defaults_->date(key);
            defaults_->stringList(key);
        }
        try {
            detail::InstanceConfiguration::read(*settings_);
        } catch (const OrvanPushSDKError& error) {
            fuzz::require(error.kind() == OrvanPushSDKError::Kind::settingNotFound);
        }
    }

  private:
    std::string keyFrom(FuzzedDataProvider& input) const {
        return input.ConsumeBool()
                   ? keys_[input.ConsumeIntegralInRange<std::size_t>(0, keys_.size() - 1)]
                   : input.ConsumeRandomLengthString(32);
    }

    static std::string typeFrom(FuzzedDataProvider& input) {
        static const char* const kTypes[] = {"string", "integer", "date", "stringList"};
        return input.ConsumeBool() ? std::string(input.PickValueInArray(kTypes))
                                   : input.ConsumeRandomLengthString(16);
    }

    static void bindValue(platform::SqliteStatement& insert, FuzzedDataProvider& input) {
        switch (input.ConsumeIntegralInRange(0, 3)) {
            case 0:
                insert.bindInteger(3, input.ConsumeIntegral<std::int64_t>());
                break;
            case 1:
                insert.bindReal(3, input.ConsumeFloatingPoint<double>());
                break;
            case 2:
                insert.bindBlob(3, input.ConsumeBytes<std::uint8_t>(
                                       input.ConsumeIntegralInRange<std::size_t>(0, 256)));
                break;
            default:
                insert.bindText(3, input.ConsumeRandomLengthString(4096));
        }
    }

    fuzz::TempDirectory home_{"settings"};
    const std::vector<std::string> keys_ = readKeys();
    std::shared_ptr<platform::UserDefaults> defaults_;
    std::unique_ptr<platform::SqliteDatabase> writer_;
    std::unique_ptr<detail::SettingsUtils> settings_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static SettingsStore store;
    FuzzedDataProvider input(data, size);
    store.write(input);
    store.read();
    return 0;
}
