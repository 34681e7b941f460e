#include "storage/StorageManager.h"

#include "orvanpush/platform/MainQueue.h"

namespace orvanpush::detail {

std::shared_ptr<StorageManager> StorageManager::make(const std::string& groupId, AppTarget target) {
    auto manager = std::make_shared<StorageManager>(
        SharedPersistentContainer::defaultContainer(groupId, target), target);
    manager->container_->addSaveObserver(manager);
    if (target == AppTarget::application) {
        std::weak_ptr<StorageManager> weak = manager;
        manager->externalChanges_ = DarwinNotificationCenter::addObserver(groupId, [weak] {
            if (auto self = weak.lock()) {
                self->runHandler();
            }
        });
    }
    return manager;
}

StorageManager::StorageManager(std::shared_ptr<SharedPersistentContainer> container,
                               AppTarget target)
    : container_(std::move(container)), target_(target) {}

void StorageManager::setObserveAppExtensionDataChanges(std::function<void()> handler) {
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
}

void StorageManager::storeDidSave() {
    {
        std::lock_guard lock(mutex_);
        if (callPending_) {
            return;
        }
        callPending_ = true;
    }
    platform::MainQueue::async([weak = weak_from_this()] {
        if (auto self = weak.lock()) {
            {
                std::lock_guard lock(self->mutex_);
                self->callPending_ = false;
            }
            self->runHandler();
        }
    });
}

void StorageManager::runHandler() {
    std::function<void()> handler;
    {
        std::lock_guard lock(mutex_);
        handler = handler_;
    }
    if (handler) {
        handler();
    }
}

}  // namespace orvanpush::detail
