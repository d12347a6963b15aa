#include "atut/cleanupOperationComposite.h"

#include "kzapal/protons/statusCodes.h"

namespace atut {

namespace {

constexpr size_t kMinimumCapacity = 8;

}  // namespace

CleanupOperationComposite::CleanupOperationComposite(size_t count, nKZAPALS100::tStatus& status) {
    operations_.reserve(count, status);
}

void CleanupOperationComposite::cleanup(nKZAPALS100::tStatus& status) {
    // Re-clamped at every step: an operation may remove members while the list runs.
    for (size_t index = operations_.size(); index > 0; --index) {
        if (index > operations_.size()) index = operations_.size();
        if (index == 0) break;
        nKZAPALS100::tStatus own;
        operations_[index - 1]->cleanup(own);
        nKZAPALS100::merge(status, own);
    }
}

void CleanupOperationComposite::add(CleanupOperationInterface* operation, nKZAPALS100::tStatus& status) {
    if (status.isFatal()) return;
    const size_t needed = operations_.size() + 1;
    if (needed > operations_.capacity()) {
        size_t grown = operations_.capacity() + operations_.capacity() / 2;
        if (grown < kMinimumCapacity) grown = kMinimumCapacity;
        if (!operations_.reserve(grown < needed ? needed : grown, status)) return;
    }
    operations_.push_back(operation, status);
}

void CleanupOperationComposite::remove(CleanupOperationInterface* operation, nKZAPALS100::tStatus& status) {
    if (status.isFatal()) return;
    for (size_t index = operations_.size(); index > 0; --index) {
        if (operations_[index - 1] == operation) {
            operations_.erase(operations_.begin() + (index - 1));
            return;
        }
    }
    KZ_SET_CODE(status, nKZAPALS100::kStatusResourceNotFound);
}

}  // namespace atut
