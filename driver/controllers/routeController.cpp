#include "controllers/routeController.h"

#include "controllers/statusCodes.h"
#include "kzapal/quarks/time.h"

namespace kzvorn_driver {

using nKZAPALS100::tStatus;

namespace {

// A deadline on the precise counter: the sleep is asked only for the whole milliseconds left.
void pauseForTheOutputBuffer() {
    nKZAPAL000::tTimeout<nKZAPAL000::tTimeWasterSleep, nKZAPAL000::tTimebasePrecise> pause(25,
                                                                                         nKZAPAL000::kNanosecond);
    pause.start();
    pause.waitForTimeout();
}

}  // namespace

bool RouteController::acceptIndex(uint64_t index, tStatus& status) {
    if (status.isFatal()) return false;
    if (index < kPxiTriggerCount) return true;
    KZ_SET_CODE(status, kStatusArgumentOutOfRange);
    return false;
}

void RouteController::enableTriggerOutput(uint64_t index, tStatus& status) {
    if (!acceptIndex(index, status)) return;
    auto output = map_.PxiTrigConfig(static_cast<unsigned>(index));
    output.writeEnablePxiTrigBuffOut(true, status);
    pauseForTheOutputBuffer();
    output.setEnablePxiTrigOut(true, status).setEnablePxiTrigBuffOut(true, status).setPxiTrigOutPulseDuration(25, status);
    output.flush(status);
}

void RouteController::disableTriggerOutput(uint64_t index, tStatus& status) {
    if (!acceptIndex(index, status)) return;
    auto output = map_.PxiTrigConfig(static_cast<unsigned>(index));
    output.writeEnablePxiTrigOut(false, status);
    output.writeEnablePxiTrigBuffOut(false, status);
    pauseForTheOutputBuffer();
}

}  // namespace kzvorn_driver
