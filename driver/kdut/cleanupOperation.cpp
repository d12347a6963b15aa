#include "kdut/cleanupOperation.h"

namespace kdut {

using kzvorn_driver::nKZAPAL000::tAutoLock;
using nKZAPALS100::tStatus;

CleanupOperationComposite::CleanupOperationComposite(size_t capacity, tStatus& status)
    : mutex_(status), usable_(status.isNotFatal()), members_(capacity, status) {}

void CleanupOperationComposite::cleanup(tStatus& status) {
    if (status.isFatal() || !usable_) return;
    tAutoLock lock(mutex_);
    Cursor cursor{members_.size(), running_};
    running_ = &cursor;
    while (cursor.pending > 0) {
        CleanupOperationInterface* operation = members_.at(--cursor.pending);
        tStatus own;
        operation->cleanup(own);
        nKZAPALS100::merge(status, own);
    }
    running_ = cursor.outer;
}

void CleanupOperationComposite::add(CleanupOperationInterface* operation, tStatus& status) {
    if (status.isFatal()) return;
    if (!usable_) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusMemoryFull);
        return;
    }
    tAutoLock lock(mutex_);
    members_.add(operation, status);
}

void CleanupOperationComposite::remove(CleanupOperationInterface* operation, tStatus& status) {
    if (status.isFatal()) return;
    if (!usable_) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusResourceNotFound);
        return;
    }
    tAutoLock lock(mutex_);
    const size_t index = members_.remove(operation, status);
    if (status.isFatal()) return;
    for (Cursor* cursor = running_; cursor != nullptr; cursor = cursor->outer) {
        if (index < cursor->pending) --cursor->pending;
    }
}

void CleanupOperationComposite::clear() {
    if (!usable_) return;
    tAutoLock lock(mutex_);
    members_.clear();
    for (Cursor* cursor = running_; cursor != nullptr; cursor = cursor->outer) cursor->pending = 0;
}

bool CleanupOperationComposite::contains(CleanupOperationInterface* operation) {
    if (!usable_) return false;
    tAutoLock lock(mutex_);
    return members_.contains(operation);
}

size_t CleanupOperationComposite::size() {
    if (!usable_) return 0;
    tAutoLock lock(mutex_);
    return members_.size();
}

CleanupOperationSession::~CleanupOperationSession() {
    if (validity_ == nullptr || !validity_->isValid()) return;
    tStatus dropped;
    composite_.cleanup(dropped);
}

}  // namespace kdut
