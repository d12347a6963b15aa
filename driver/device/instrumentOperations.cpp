// The instrument requests of the vantrel family: temperature, compliance, the stored data's health,
// the alarms, calibration, measure units, the power budget, the DAC, the digipot and the
// connected accessory. Each checks its channel or mask, then the session's reservation where it
// needs one, and forwards to the helper; what two of them answer when the gate refuses needs no
// helper at all.
#include "device/helperObjects.h"
#include "device/statusCodes.h"
#include "device/tolvaneDevice.h"
#include "dispatchers/calibrationDispatcher.h"
#include "kzapal/protons/userMemory.h"

namespace kzvorn_driver {

using nKZAPAL000::tEventDescriptor;
using nKZAPALS100::tStatus;

namespace {

constexpr uint32_t kHighestTemperatureSensor = 1;
constexpr uint32_t kHighestMeasureUnit = 2;

void checkSensor(uint32_t sensor, tStatus& status) {
    if (sensor > kHighestTemperatureSensor) KZ_SET_CODE(status, kStatusArgumentOutOfRange);
}

void checkMeasureUnit(uint32_t unit, tStatus& status) {
    if (unit > kHighestMeasureUnit) KZ_SET_CODE(status, kStatusArgumentOutOfRange);
}

}  // namespace

// The sensor number is checked before the gate's status is looked at; a bad one hides the gate's.
void TolvaneDevice::vantrel_readTemperatureSensor_refused(const tValue32Record& input, tValue16Record&,
                                                          const tStatus& gateStatus, tStatus& status) {
    if (input.value > kHighestTemperatureSensor) {
        KZ_SET_CODE(status, kStatusArgumentOutOfRange);
        return;
    }
    nKZAPALS100::merge(status, gateStatus);
}

void TolvaneDevice::vantrel_readTemperatureSensor(tEventDescriptor& event, const tValue32Record& input,
                                                  tValue16Record& output, tStatus& status) {
    checkSensor(input.value, status);
    if (TolvaneHelper* helper = forwardTarget(status)) {
        const uint16_t reading = helper->readTemperatureSensor(input.value, status);
        if (status.isNotFatal()) output.value = reading;
    }
}

void TolvaneDevice::vantrel_getHardwareErrors(tEventDescriptor& event, const tSizedUserBufferRecord& input,
                                              tStatusRecord&, tStatus& status) {
    if (helper_ != nullptr) helper_->getHardwareErrors(event, input.address, input.size, status);
}

void TolvaneDevice::vantrel_queryInCompliance(tEventDescriptor& event, const tChannelRecord& input,
                                              tValue8Record& output, tStatus& status) {
    if (TolvaneHelper* helper = admitChannel(event, input.channel, tReserve::kYes, status)) {
        const bool inCompliance = helper->queryInCompliance(input.channel, status);
        output.value = status.isNotFatal() && inCompliance ? 1 : 0;
    }
}

void TolvaneDevice::vantrel_areStorageMapChecksumsValid(tEventDescriptor& event, const tStatusRecord&,
                                                        tValue8Record& output, tStatus& status) {
    if (TolvaneHelper* helper = forwardTarget(status))
        output.value = helper->areStorageMapChecksumsValid(status) && status.isNotFatal() ? 1 : 0;
}

void TolvaneDevice::vantrel_areStorageMapVersionsValid(tEventDescriptor& event, const tStatusRecord&,
                                                       tValue8Record& output, tStatus& status) {
    if (TolvaneHelper* helper = forwardTarget(status))
        output.value = helper->areStorageMapVersionsValid(status) && status.isNotFatal() ? 1 : 0;
}

// The alarms need no reservation: any session may watch and acknowledge them.
void TolvaneDevice::vantrel_getAlarmRaised(tEventDescriptor& event, const tMaskNumberRecord& input,
                                           tValue8Record& output, tStatus& status) {
    if (TolvaneHelper* helper = admitAlarmMask(input.mask, status))
        output.value = helper->getAlarmRaised(input.mask, input.number, status) && status.isNotFatal() ? 1 : 0;
}

void TolvaneDevice::vantrel_clearAlarm(tEventDescriptor& event, const tMaskNumberRecord& input, tStatusRecord&,
                                       tStatus& status) {
    if (TolvaneHelper* helper = admitAlarmMask(input.mask, status)) helper->clearAlarm(input.mask, input.number, status);
}

void TolvaneDevice::vantrel_maskAlarm(tEventDescriptor& event, const tMaskNumberRecord& input, tStatusRecord&,
                                      tStatus& status) {
    if (TolvaneHelper* helper = admitAlarmMask(input.mask, status)) helper->maskAlarm(input.mask, input.number, status);
}

void TolvaneDevice::vantrel_unmaskAlarm(tEventDescriptor& event, const tMaskNumberRecord& input, tStatusRecord&,
                                        tStatus& status) {
    if (TolvaneHelper* helper = admitAlarmMask(input.mask, status))
        helper->unmaskAlarm(input.mask, input.number, status);
}

// The offset goes out as two bytes, little endian; nothing is written on an error.
void TolvaneDevice::vantrel_calculateChargeBalanceOffset(tEventDescriptor& event,
                                                         const tChargeBalanceOffsetRecord& input, tStatusRecord&,
                                                         tStatus& status) {
    TolvaneHelper* helper = admitChannel(event, input.channel, tReserve::kYes, status);
    CalibrationDispatcher* dispatcher = helper != nullptr ? boardObject(helper->getCalibrationDispatcher(), status) : nullptr;
    if (dispatcher == nullptr) return;
    const uint16_t offset = dispatcher->calculateChargeBalanceOffset(input.channel, input.rangeCode, status);
    if (status.isFatal()) return;
    const uint8_t bytes[2] = {uint8_t(offset), uint8_t(offset >> 8)};
    nKZAPAL000::tUserBuffer(event, input.resultAddress, sizeof bytes, status)
        .writeToBuffer(0, bytes, sizeof bytes, status);
}

// The reservation comes first and the helper checks the mask: bits past the last channel are
// refused as unreserved, an empty mask as invalid.
void TolvaneDevice::vantrel_loadCalibrationToFirmwareFromStorageMapSoftcopy(tEventDescriptor& event,
                                                                            const tMaskRecord& input, tStatusRecord&,
                                                                            tStatus& status) {
    if (TolvaneHelper* helper = admitMask(event, input.mask, tMaskCheck::kNone, tReserve::kYes, status))
        helper->loadCalibrationToFirmwareFromStorageMapSoftcopy(input.mask, status);
}

// Configuring needs no reservation. The record is read only once every argument passed.
void TolvaneDevice::vantrel_configureMeasureUnit(tEventDescriptor& event, const tConfigureMeasureUnitRecord& input,
                                                 tStatusRecord&, tStatus& status) {
    kzvorn_shared::checkInvalidBitsNotSet(input.mask, status);
    kzvorn_shared::checkBitmaskNotEmpty(input.mask, status);
    checkMeasureUnit(input.subUnit, status);
    if (status.isFatal()) return;
    if (input.configurationAddress == 0 || input.configurationSize != sizeof(MeasureUnitConfiguration)) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
        return;
    }
    MeasureUnitConfiguration configuration{};
    nKZAPAL000::tUserBuffer(event, input.configurationAddress, sizeof configuration, status)
        .readFromBuffer(0, &configuration, sizeof configuration, status);
    if (TolvaneHelper* helper = forwardTarget(status))
        helper->configureMeasureUnit(input.mask, int32_t(input.subUnit), configuration, input.flag != 0, status);
}

void TolvaneDevice::vantrel_getMeasurement(tEventDescriptor& event, const tMeasurementRecord& input, tStatusRecord&,
                                           tStatus& status) {
    checkChannelIndex(input.channel, status);
    checkMeasureUnit(input.subUnit, status);
    if (TolvaneHelper* helper = forwardTarget(status))
        helper->getMeasurement(event, input.channel, int32_t(input.subUnit), input.address, input.size, status);
}

void TolvaneDevice::vantrel_stagePowerAllocation(tEventDescriptor& event, const tPowerAllocationRecord& input,
                                                 tValue32Record& output, tStatus& status) {
    if (TolvaneHelper* helper = admitChannel(event, input.channel, tReserve::kYes, status)) {
        const uint32_t available = helper->stagePowerAllocation(input.channel, input.microwatts, status);
        if (status.isNotFatal()) output.value = available;
    }
}

void TolvaneDevice::vantrel_commitPowerAllocation(tEventDescriptor& event, const tChannelRecord& input, tStatusRecord&,
                                                  tStatus& status) {
    if (TolvaneHelper* helper = admitChannel(event, input.channel, tReserve::kYes, status))
        helper->commitPowerAllocation(input.channel, status);
}

void TolvaneDevice::vantrel_discardPowerAllocation(tEventDescriptor& event, const tChannelRecord& input,
                                                   tStatusRecord&, tStatus& status) {
    if (TolvaneHelper* helper = admitChannel(event, input.channel, tReserve::kYes, status))
        helper->discardPowerAllocation(input.channel, status);
}

void TolvaneDevice::vantrel_getActualPowerAllocation(tEventDescriptor& event, const tChannelRecord& input,
                                                     tValue32Record& output, tStatus& status) {
    if (TolvaneHelper* helper = admitChannel(event, input.channel, tReserve::kYes, status)) {
        const uint32_t committed = helper->getActualPowerAllocation(input.channel, status);
        if (status.isNotFatal()) output.value = committed;
    }
}

// The signed reading travels in the record's unsigned word.
void TolvaneDevice::vantrel_readDAC(tEventDescriptor& event, const tChannelRecord& input, tValue32Record& output,
                                    tStatus& status) {
    if (TolvaneHelper* helper = admitChannel(event, input.channel, tReserve::kYes, status)) {
        const int32_t reading = helper->readDAC(input.channel, status);
        if (status.isNotFatal()) output.value = uint32_t(reading);
    }
}

// The record's byte is the value; the digipot is the board's, so no channel is checked.
void TolvaneDevice::vantrel_writeCmccDigipot(tEventDescriptor& event, const tChannelRecord& input, tStatusRecord&,
                                             tStatus& status) {
    if (TolvaneHelper* helper = forwardTarget(status)) helper->writeCmccDigipot(input.channel, status);
}

// Once the gate is entered the value is read (and below, stored) whatever the caller's status,
// which then stays the reported one.
void TolvaneDevice::vantrel_getConnectedAccessory(tEventDescriptor& event, const tStatusRecord&,
                                                  tValue32Record& output, tStatus& status) {
    output.value = __atomic_load_n(&connectedAccessory_, __ATOMIC_RELAXED);
}

void TolvaneDevice::vantrel_getConnectedAccessory_refused(const tStatusRecord&, tValue32Record& output,
                                                          const tStatus& gateStatus, tStatus& status) {
    nKZAPALS100::merge(status, gateStatus);
    output.value = 1;
}

void TolvaneDevice::vantrel_setConnectedAccessory(tEventDescriptor& event, const tValue32Record& input,
                                                  tStatusRecord&, tStatus& status) {
    exchangeConnectedAccessory(input.value);
}

}  // namespace kzvorn_driver
