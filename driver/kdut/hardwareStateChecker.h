// The device-wide list of hardware checks that the bring-up registers and that the check requests
// and poll time-outs run.
#pragma once

#include "kdut/statusChainedComposite.h"

namespace kdut {

class HardwareStateCheckerInterface {
public:
    virtual ~HardwareStateCheckerInterface() {}
    virtual void checkHardwareState(nKZAPALS100::tStatus& status) = 0;
};

class HardwareStateCheckerComposite : public HardwareStateCheckerInterface {
public:
    HardwareStateCheckerComposite() = default;
    HardwareStateCheckerComposite(size_t capacity, nKZAPALS100::tStatus& status) : members_(capacity, status) {}
    ~HardwareStateCheckerComposite() override {}

    // Every member in order of addition on the caller's status: the first failure stands and the
    // members after it do nothing.
    void checkHardwareState(nKZAPALS100::tStatus& status) override {
        if (status.isFatal()) return;
        for (size_t i = 0; i < members_.size(); ++i) members_.at(i)->checkHardwareState(status);
    }
    virtual void add(HardwareStateCheckerInterface* checker, nKZAPALS100::tStatus& status) {
        members_.add(checker, status);
    }
    virtual void remove(HardwareStateCheckerInterface* checker, nKZAPALS100::tStatus& status) {
        members_.remove(checker, status);
    }
    virtual void clear() { members_.clear(); }
    bool contains(HardwareStateCheckerInterface* checker) const { return members_.contains(checker); }
    size_t size() const { return members_.size(); }

private:
    internal::StatusChainedCompositeKernel<HardwareStateCheckerInterface> members_;
};

}  // namespace kdut
