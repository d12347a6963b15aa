// Deferred-call handlers: the part of interrupt handling that runs after the interrupt handler,
// at deferred-call level.
#pragma once

#include "kzapal/protons/status.h"

namespace kzvorn_driver {
namespace nKZAPAL000 {

class tSecondaryInterruptHandler {
public:
    // A deferred call that cannot be created records -52008.
    explicit tSecondaryInterruptHandler(nKZAPALS100::tStatus& status);
    virtual ~tSecondaryInterruptHandler();
    tSecondaryInterruptHandler(const tSecondaryInterruptHandler&) = delete;
    tSecondaryInterruptHandler& operator=(const tSecondaryInterruptHandler&) = delete;

    virtual void handleInterrupt() = 0;

    // What tDevice::scheduleDPC takes; null when it could not be created or was destroyed.
    void* getDeferredCall() const { return deferredCall_; }
    // Waits for a run in progress; the handler is never called again afterwards.
    void destroyDeferredCall();

    // The deferred call's entry: the context is the handler.
    static void _secondaryRedirect(void* context);

private:
    void* deferredCall_ = nullptr;
};

// Hands the deferred call to a target that is not itself a handler.
template <class tTarget>
class tSecondaryInterruptRedirector : public tSecondaryInterruptHandler {
public:
    tSecondaryInterruptRedirector(tTarget* target, nKZAPALS100::tStatus& status)
        : tSecondaryInterruptHandler(status), target_(target) {}
    ~tSecondaryInterruptRedirector() override {}

    void handleInterrupt() override { target_->handleInterrupt(); }

private:
    tTarget* target_;
};

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver
