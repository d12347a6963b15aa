// Setup levels 18 to 22: the channels' interrupt vectors, their start subroutines, their regions of
// sequencer data RAM, the caller's disabled channel errors with the isolated error managers'
// enable, and the final subroutine on channel 0. None of them builds anything to undo.
#include "device/disabledErrorList.h"
#include "device/statusCodes.h"
#include "device/tolvaneHelper.h"
#include "dravikTools/systemSubroutineIds.h"
#include "kzapal/protons/statusCodes.h"
#include "kzapal/protons/userMemory.h"

namespace kzvorn_driver {

using nKZAPALS100::tStatus;

namespace {

constexpr unsigned kChannelCount = IsolatedObjects::kChannelCount;

// The vectors level 18 gives every channel: lines 0 and 1 are only programmed, never raised here.
struct InterruptVectorRow {
    uint32_t line;
    draviktools::SubroutineId id;
};
constexpr InterruptVectorRow kInterruptVectors[] = {
    {0, draviktools::kSubroutineLevel18Line0},
    {1, draviktools::kSubroutineLevel18Line1},
};

// Each channel's region of the sequencer data RAM begins at channel * this.
constexpr uint32_t kSequencerDataRamRegionWords = 8192;

}  // namespace

void TolvaneHelper::stepInterruptVector(tStatus& status) {
    // A faked level 10 or 11 leaves no registrar or generators.
    const kzhtl::SharedPtr<draviktools::SubroutineRegistrarInterface>* registrar = getSubroutineRegistrar();
    if (isolatedObjects_ == nullptr || registrar == nullptr)
        return void(KZ_SET_CODE(status, nKZAPALS100::kStatusResourceNotFound));
    // A missing id stops every later lookup and write, so the lines before it stay programmed.
    for (unsigned c = 0; c < kChannelCount; ++c) {
        InterruptGeneratorController* generator = isolatedObjects_->getInterruptGenerator(c);
        if (generator == nullptr) return void(KZ_SET_CODE(status, nKZAPALS100::kStatusResourceNotFound));
        for (const InterruptVectorRow& row : kInterruptVectors)
            generator->programLine(row.line, (*registrar)->getStartAddress(row.id, status), status);
    }
}

void TolvaneHelper::stepChannelStartSubroutine(tStatus& status) {
    ChannelDispatchers* dispatchers =
        isolatedObjects_ != nullptr ? isolatedObjects_->getSubroutineDispatchers() : nullptr;
    if (dispatchers == nullptr) return void(KZ_SET_CODE(status, nKZAPALS100::kStatusResourceNotFound));
    // All four start before the first wait, so they run at once; after a time-out the later waits
    // do nothing.
    for (unsigned c = 0; c < kChannelCount; ++c)
        (*dispatchers)[c]->run(kSubroutineLine, draviktools::kSubroutineLevel19[c], status);
    for (unsigned c = 0; c < kChannelCount; ++c)
        (*dispatchers)[c]->wait(kSubroutineLine, kSubroutineWaitUs, kStatusStartSubroutineTimedOut, status);
}

void TolvaneHelper::stepSequencerDataRam(tStatus& status) {
    if (isolatedRegMaps_ == nullptr) return void(KZ_SET_CODE(status, nKZAPALS100::kStatusResourceNotFound));
    // The first of the channel's two address registers. Written only where the shadow differs or is
    // dirty: a fresh channel 0 already holds its 0.
    for (unsigned c = 0; c < kChannelCount && status.isNotFatal(); ++c)
        isolatedRegMaps_->getChannelMap(c)->SequencerDataRamAddressRegType(0).writeSequencerDataRamAddress(
            c * kSequencerDataRamRegionWords, status);
}

void TolvaneHelper::stepIsoDisabledErrors(tStatus& status) {
    HardwareErrorControllerInterface* controller = getHardwareErrorController();
    if (controller == nullptr) return void(KZ_SET_CODE(status, nKZAPALS100::kStatusResourceNotFound));
    // Refused above the disabled-error step's bound before anything is allocated or read: the
    // count is the caller's, and any count would otherwise be allocated.
    kzhtl::Vector<uint64_t> list;
    if (!allocateDisabledErrorList(parameters_.disabledErrorCount, list, status)) return;
    const nKZAPAL000::tEventDescriptor noRequest{nullptr};
    readDisabledErrorList(context_.request != nullptr ? *context_.request : noRequest, parameters_.disabledErrors, list,
                          status);
    // Both do nothing once the copy failed: a partly read list is never applied.
    controller->disableIsoErrors(list, status);
    controller->enableIsoErrorManagers(status);
}

void TolvaneHelper::stepFinalSubroutine(tStatus& status) { runOnChannelZero(draviktools::kSubroutineLevel22, status); }

}  // namespace kzvorn_driver
