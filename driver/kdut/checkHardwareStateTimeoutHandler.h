// A poll time-out handler that asks the hardware first: a wait that timed out because the
// hardware failed reports the checker's finding, not the time-out.
#pragma once

#include <cstdint>

#include "atut/poller.h"
#include "kdut/hardwareStateChecker.h"

namespace kdut {

class CheckHardwareStateTimeoutHandler : public atut::PollerTimeoutHandler {
public:
    CheckHardwareStateTimeoutHandler(HardwareStateCheckerInterface* checker, int32_t timeoutStatus)
        : checker_(checker), timeoutStatus_(timeoutStatus) {}
    ~CheckHardwareStateTimeoutHandler() override {}

    void onTimeout(nKZAPALS100::tStatus& status) override {
        if (status.isFatal()) return;
        checker_->checkHardwareState(status);
        if (status.isNotFatal()) KZ_SET_CODE(status, timeoutStatus_);
    }

private:
    HardwareStateCheckerInterface* checker_;
    int32_t timeoutStatus_;
};

}  // namespace kdut
