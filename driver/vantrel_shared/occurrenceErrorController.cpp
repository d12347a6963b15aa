#include "vantrel_shared/occurrenceErrorController.h"

#include "atut/poller.h"
#include "vantrel_shared/statusCodes.h"

namespace vantrel_shared {

namespace {
constexpr auto kManagerClear = atut::Wait<atut::tSleepPrecise>()
                                   .pausesUs(100, 2000)
                                   .deadlineUs(2000000)
                                   .timeoutStatus(kStatusErrorManagerStillLatched);
}

void OccurrenceErrorController::disableErrors(const kzhtl::Vector<uint64_t>& entries, tStatus& status) {
    for (size_t i = 0; i < entries.size() && status.isNotFatal(); ++i) {
        const uint16_t id = uint16_t(entries[i]);
        if (inputMap_->containsId(id, status)) mux_->disableInput(inputMap_->getInputForId(id, status), status);
    }
}

void OccurrenceErrorController::enableErrorManager(tStatus& status) {
    if (status.isFatal()) return;
    atut::waitUntil(
        kManagerClear, [&](tStatus& s) { return manager_->readErrorStatus(s); }, atut::maskedEquals(0xFFFFFFFF, 0),
        status);
    tStatus enabled;
    manager_->enable(enabled);
    nKZAPALS100::merge(status, enabled);
}

void OccurrenceErrorController::checkForErrors(tStatus& status) {
    if (status.isFatal()) return;
    const uint16_t id = readErrorStatus(status);
    if (id == 0) return;
    KZ_SET_CODE(status, errorMap_->containsId(id) ? errorMap_->getStatusForId(id) : kStatusUnknownLatchedError);
}

uint16_t OccurrenceErrorController::readErrorStatus(tStatus& status) { return manager_->readErrorStatus(status); }

void OccurrenceErrorController::getLatchedInputs(kzhtl::Vector<uint16_t>& ids, tStatus& status) {
    mux_->getLatchedInputs(ids, status);
}

void OccurrenceErrorController::clearErrors(tStatus& status) {
    mux_->clearAllLatched(status);
    manager_->disable(status);
    manager_->enable(status);
}

}  // namespace vantrel_shared
