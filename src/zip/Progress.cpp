#include "orvanpush/zip/Progress.h"

#include <algorithm>

namespace orvanpush::zip {
namespace {

std::int64_t readUnder(std::mutex& mutex, const std::int64_t& count) {
    std::lock_guard lock(mutex);
    return count;
}

void writeUnder(std::mutex& mutex, std::int64_t& count, std::int64_t value) {
    std::lock_guard lock(mutex);
    count = value;
}

}  // namespace

Progress::Progress(std::int64_t totalUnitCount) : totalUnitCount_(totalUnitCount) {}

std::int64_t Progress::totalUnitCount() const {
    return readUnder(mutex_, totalUnitCount_);
}

void Progress::setTotalUnitCount(std::int64_t count) {
    writeUnder(mutex_, totalUnitCount_, count);
    changed();
}

std::int64_t Progress::completedUnitCount() const {
    return readUnder(mutex_, completed_);
}

void Progress::setCompletedUnitCount(std::int64_t count) {
    writeUnder(mutex_, completed_, count);
    changed();
}

double Progress::fractionCompleted() const {
    // Locks are taken parent first, then child; a child never holds its own lock while it
    // tells its parent of a change.
    std::lock_guard lock(mutex_);
    if (totalUnitCount_ <= 0) {
        return 0;
    }
    double done = static_cast<double>(completed_);
    for (const auto& child : children_) {
        if (auto progress = child.progress.lock()) {
            done += static_cast<double>(child.pendingUnitCount) * progress->fractionCompleted();
        }
    }
    return std::clamp(done / static_cast<double>(totalUnitCount_), 0.0, 1.0);
}

void Progress::cancel() {
    if (!cancelled_.exchange(true)) {
        changed();
    }
}

bool Progress::isCancelled() const {
    return cancelled_ || (parent_ && parent_->isCancelled());
}

std::shared_ptr<Progress> Progress::makeChild(const std::shared_ptr<Progress>& parent,
                                              std::int64_t pendingUnitCount) {
    auto child = std::make_shared<Progress>();
    child->parent_ = parent;
    std::lock_guard lock(parent->mutex_);
    parent->children_.push_back({child, pendingUnitCount});
    return child;
}

void Progress::setObserver(std::function<void(const Progress&)> observer) {
    std::lock_guard lock(mutex_);
    observer_ = std::move(observer);
}

void Progress::changed() {
    std::function<void(const Progress&)> observer;
    {
        std::lock_guard lock(mutex_);
        observer = observer_;
    }
    if (observer) {
        observer(*this);
    }
    if (parent_) {
        parent_->childChanged(*this);
    }
}

void Progress::childChanged(const Progress& child) {
    bool finished = false;
    {
        std::lock_guard childLock(child.mutex_);
        finished = child.isFinishedLocked();
    }
    if (finished) {
        std::lock_guard lock(mutex_);
        auto found = std::find_if(children_.begin(), children_.end(), [&](const Child& entry) {
            return entry.progress.lock().get() == &child;
        });
        if (found != children_.end()) {
            completed_ += found->pendingUnitCount;
            children_.erase(found);
        }
    }
    changed();
}

}  // namespace orvanpush::zip
