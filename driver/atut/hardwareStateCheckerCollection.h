// A fixed collection of hardware-state checkers, all run on one status. Checkers are not owned.
#pragma once

#include <cstddef>

#include "kzapal/protons/status.h"

namespace atut {

class HardwareStateChecker {
public:
    virtual ~HardwareStateChecker() {}
    virtual void checkHardwareState(nKZAPALS100::tStatus& status) = 0;
};

class HardwareStateCheckerCollection {
public:
    static constexpr size_t kCapacity = 64;

    virtual ~HardwareStateCheckerCollection() {}
    // In order of addition; a checker after a failing one sees the error and does nothing.
    virtual void checkHardwareState(nKZAPALS100::tStatus& status);
    // A checker beyond the capacity is not kept (-52000).
    virtual void add(HardwareStateChecker* checker, nKZAPALS100::tStatus& status);
    // Erases the first occurrence; an absent checker changes nothing.
    virtual void remove(HardwareStateChecker* checker);
    virtual void clear() { count_ = 0; }

    size_t size() const { return count_; }

private:
    HardwareStateChecker* checkers_[kCapacity] = {};
    size_t count_ = 0;
};

}  // namespace atut
