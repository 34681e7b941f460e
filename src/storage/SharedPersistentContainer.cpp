#include "storage/SharedPersistentContainer.h"

#include <map>

#include "orvanpush/storage/StorageErrors.h"
#include "platform/Home.h"
#include "storage/DarwinNotificationCenter.h"
#include "utils/logger/log_manager/SdkLog.h"

namespace orvanpush::detail {

std::shared_ptr<SharedPersistentContainer> SharedPersistentContainer::defaultContainer(
    const std::string& groupId, AppTarget target) {
    static std::mutex mutex;
    static std::map<std::filesystem::path, std::weak_ptr<SharedPersistentContainer>> opened;
    try {
        const auto directory = defaultDirectoryURL(groupId);
        std::lock_guard lock(mutex);
        std::erase_if(opened, [](const auto& entry) { return entry.second.expired(); });
        auto& entry = opened[directory];
        auto container = entry.lock();
        if (!container || !container->database_.isInPlace()) {
            container = std::make_shared<SharedPersistentContainer>(groupId, target, directory);
            entry = container;
        }
        return container;
    } catch (const std::exception& error) {
        const std::string text = std::string("Loading of store failed: ") + error.what();
        SdkLog::message(LogSeverity::error, LoggerModule::storage, text);
        throw InternalError(text);
    }
}

std::filesystem::path SharedPersistentContainer::defaultDirectoryURL(const std::string& groupId) {
    return platform::Home::containerDirectory(groupId);
}

SharedPersistentContainer::SharedPersistentContainer(std::string groupId, AppTarget target,
                                                     const std::filesystem::path& directory)
    : groupId_(std::move(groupId)), target_(target), database_(directory) {}

void SharedPersistentContainer::addSaveObserver(std::weak_ptr<SaveObserver> observer) {
    std::lock_guard lock(observersMutex_);
    std::erase_if(observers_, [](const auto& weak) { return weak.expired(); });
    observers_.push_back(std::move(observer));
}

void SharedPersistentContainer::announce(bool changed) noexcept {
    if (!changed) {
        return;
    }
    std::vector<std::shared_ptr<SaveObserver>> live;
    {
        std::lock_guard lock(observersMutex_);
        for (const auto& weak : observers_) {
            if (auto observer = weak.lock()) {
                live.push_back(std::move(observer));
            }
        }
    }
    try {
        for (const auto& observer : live) {
            observer->storeDidSave();
        }
        if (target_ == AppTarget::extension) {
            DarwinNotificationCenter::post(groupId_);
        }
    } catch (const std::exception& error) {
        // The commit stands; the application sees it at its next fetch.
        SdkLog::message(LogSeverity::error, LoggerModule::storage,
                        std::string("Change notification failed: ") + error.what());
    }
}

}  // namespace orvanpush::detail
