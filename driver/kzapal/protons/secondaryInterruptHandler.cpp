#include "kzapal/protons/secondaryInterruptHandler.h"

#include "kzapal/protons/statusCodes.h"
#include "kzkal/interrupt.h"

namespace kzvorn_driver {
namespace nKZAPAL000 {

tSecondaryInterruptHandler::tSecondaryInterruptHandler(nKZAPALS100::tStatus& status) {
    if (status.isFatal()) return;
    deferredCall_ = nKZKAL100_createDPC(_secondaryRedirect, this);
    if (deferredCall_ == nullptr) KZ_SET_CODE(status, nKZAPALS100::kStatusSoftwareFault);
}

tSecondaryInterruptHandler::~tSecondaryInterruptHandler() { destroyDeferredCall(); }

void tSecondaryInterruptHandler::destroyDeferredCall() {
    if (deferredCall_ == nullptr) return;
    nKZKAL100_destroyDPC(deferredCall_);
    deferredCall_ = nullptr;
}

void tSecondaryInterruptHandler::_secondaryRedirect(void* context) {
    static_cast<tSecondaryInterruptHandler*>(context)->handleInterrupt();
}

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver
