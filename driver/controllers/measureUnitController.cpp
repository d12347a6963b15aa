#include "controllers/measureUnitController.h"

#include "controllers/statusCodes.h"

namespace kzvorn_driver {

namespace {

// The measure FIFO status registers that tell a unit's data ready and a unit idle.
constexpr unsigned kDataReady = 2;
constexpr unsigned kIdle = 3;

constexpr auto kFifoWait = atut::Wait<atut::tSpinPrecise>().pausesUs(20, 500).timeoutStatus(kStatusMeasureUnitTimeout);
constexpr auto kIdleWait = kFifoWait.deadlineUs(1000);
constexpr auto kDataWait = kFifoWait.deadlineUs(1000000);

}  // namespace

MeasureUnitController::MeasureUnitController(uint8_t channel, tNisoMap& niso, tChannelMap& channelMap, tStatus& status)
    : channel_(channel), niso_(&niso), channelMap_(&channelMap), window_(niso.measureUnit(channel)) {
    for (auto& lock : locks_) lock = kzhtl::makeShared<nKZAPAL000::tMutex>(status);
    if (status.isFatal()) return;
    if (window_ == nullptr) {
        KZ_SET_CODE(status, kStatusInvalidChannel);
        return;
    }
    control(2).writeMuFixedMeasureEnable(true, status);
}

bool MeasureUnitController::checkUnit(int32_t unit, tStatus& status) {
    if (status.isFatal()) return false;
    if (unit >= 0 && unit < kUnitCount) return true;
    KZ_SET_CODE(status, kStatusArgumentOutOfRange);
    return false;
}

void MeasureUnitController::waitIdle(uint32_t unit, bool idle, tStatus& status) {
    const uint32_t bit = measureFifoBit(channel_, unit);
    auto idleRegister = niso_->MeasureFifoStatus(kIdle);
    atut::waitUntil(kIdleWait, [&](tStatus& s) { return idleRegister.readRegister(s); },
                    atut::maskedEquals(bit, idle ? bit : 0), status);
}

void MeasureUnitController::waitData(uint32_t unit, tStatus& status) {
    const uint32_t bit = measureFifoBit(channel_, unit);
    auto ready = niso_->MeasureFifoStatus(kDataReady);
    atut::waitUntil(kDataWait, [&](tStatus& s) { return ready.readRegister(s); }, atut::maskedEquals(bit, bit),
                    status);
}

void MeasureUnitController::arm(tStatus& status) {
    if (status.isFatal()) return;
    nKZAPAL000::tAutoLock guard(*locks_[0]);
    channelMap_->MainMeasureTriggerMuxConfig()
        .setOccurrenceMuxClearAllLatchStb(true, status)
        .writeOccurrenceArmMuxStb(true, status);
    if (status.isNotFatal()) return;
    tStatus undo;
    cleanup(undo);
    nKZAPALS100::merge(status, undo);
}

void MeasureUnitController::reset(tStatus& status) {
    if (status.isFatal()) return;
    nKZAPAL000::tAutoLock guard(*locks_[0]);
    channelMap_->MainMeasureTriggerMuxConfig().writeOccurrenceDisarmMuxStb(true, status);
    control(0).writeAbortMeasure(true, status);
    window_->NisoMeasureUnitConfig(0).writeBit8(1, status);
    waitIdle(0, true, status);
}

void MeasureUnitController::configure(int32_t unit, uint32_t downsampleRate, uint8_t filterOrder, uint8_t windowLsb,
                                      bool pointCompressible, bool continuous, tStatus& status) {
    if (!checkUnit(unit, status)) return;
    const uint32_t u = uint32_t(unit);
    nKZAPAL000::tAutoLock guard(*locks_[u]);
    control(u).writeAbortMeasure(true, status);
    waitIdle(u, true, status);
    if (status.isFatal()) return;
    channelMap_->CicFilterConfigRegType(u)
        .setDownsampleRate(downsampleRate & 0x3FFFFF, status)
        .setFilterOrder(uint8_t(filterOrder & 3), status)
        .setWindowLsb(uint8_t(windowLsb & 7), status)
        .writePointCompressible(pointCompressible, status, true);
    auto record = channelMap_->MuRecordConfigRegType(u);
    record.writeMeasureContinuous(continuous, status);
    continuous_[u] = continuous;
    if (continuous) {
        control(u).writeBit0(true, status);
        waitIdle(u, false, status);
    } else {
        record.writePointsPerRecord(1, status);
    }
}

MeasureUnitMeasurement MeasureUnitController::getMeasurement(int32_t unit, tStatus& status) {
    if (!checkUnit(unit, status)) return MeasureUnitMeasurement{};
    const uint32_t u = uint32_t(unit);
    nKZAPAL000::tAutoLock guard(*locks_[u]);
    if (continuous_[u]) {
        waitIdle(u, false, status);
        const uint32_t ready = niso_->MeasureFifoStatus(kDataReady).readRegister(status);
        if (status.isNotFatal() && (ready & measureFifoBit(channel_, u)) == 0)
            KZ_SET_CODE(status, kStatusMeasurementNotAvailable);
    } else {
        control(u).writeBit0(true, status);
        waitData(u, status);
    }
    if (status.isFatal()) return MeasureUnitMeasurement{};
    window_->NisoMeasureUnitConfig(u).writeBit0(1, status);
    auto cic = window_->CicFilterConfig(u);
    auto firstHeader = window_->MeasurePacketHeader0(u);
    auto firstData = window_->MeasurePacketData0(u);
    auto secondHeader = window_->MeasurePacketHeader1(u);
    auto secondData = window_->MeasurePacketData1(u);
    cic.refresh(status);
    firstHeader.refresh(status);
    firstData.refresh(status);
    secondHeader.refresh(status);
    secondData.refresh(status);
    window_->NisoMeasureUnitConfig(u).writeBit1(1, status);
    return MeasureUnitMeasurement{uint32_t(cic.getShadow()),          0,
                                  uint32_t(firstData.getShadow()),    uint32_t(firstHeader.getShadow()),
                                  uint32_t(secondData.getShadow()),   uint32_t(secondHeader.getShadow())};
}

}  // namespace kzvorn_driver
