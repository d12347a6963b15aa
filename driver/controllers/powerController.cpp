#include "controllers/powerController.h"

#include "atut/poller.h"

namespace kzvorn_driver {

using nKZAPALS100::tStatus;

namespace {

// Where the controller's own checks report their failures from.
constexpr const char* kSource = "controllers/PowerController";

constexpr auto kPowerPathWait = atut::Wait<atut::tSleepPrecise>().pausesUs(10000, 30000).timeoutStatus(kStatusPowerPathTimedOut);
constexpr auto kDacReady = kPowerPathWait.deadlineUs(200000);
constexpr auto kBackplaneReadingValid = kPowerPathWait.deadlineUs(200000);
constexpr auto kTransformerUp = kPowerPathWait.deadlineUs(200000);
constexpr auto kSinkingBoardReadingValid = kPowerPathWait.deadlineUs(100000);

using tFpga = PowerController::tFpgaMap;
using tMeasurement = PowerController::tWindowMap::tIna231MeasurementRegType;

// The bits waited for: the DAC ready, a measurement valid and the transformer up.
constexpr uint64_t kDacReadyBit = arm::fieldMask(tFpga::tNisoBcPsDacStatusReg::kBit29);
constexpr uint64_t kReadingValidBit = arm::fieldMask(tMeasurement::kBit17);
constexpr uint64_t kTransformerUpBit = arm::fieldMask(tFpga::tXfmrCtrlStatusReg::kBit31);
constexpr uint32_t kDacCommand = 0x19;

struct MonitorSetUp {
    uint32_t a;
    uint32_t b;
};
constexpr MonitorSetUp kBackplaneSetUp = {6880, 5000};
constexpr MonitorSetUp kSinkingBoardSetUp = {4000, 5000};

constexpr uint32_t kLowestCoolingMode = 16;
constexpr uint32_t kHighCoolingMode = 32;

// Reads the register from the hardware until the bit is set.
template <class tRegister, class tWait>
void waitForBit(const tWait& wait, tRegister reg, uint64_t bit, tStatus& status) {
    atut::waitUntil(wait, [&](tStatus& s) { return reg.readRegister(s); }, atut::anyBitSet(bit), status);
}

}  // namespace

void PowerController::initialize(uint32_t coolingMode, tStatus& status) {
    setCoolingMode(coolingMode, status);
    configurePowerMonitor(backplaneChip_, fpga_.backplanePowerMonitor(), kBackplaneSetUp.a, kBackplaneSetUp.b, status);
    configurePowerMonitor(sinkingBoardChip_, fpga_.sinkingBoardPowerMonitor(), kSinkingBoardSetUp.a,
                          kSinkingBoardSetUp.b, status);
    writeSinkingBoardBiasDac(status);
}

void PowerController::setCoolingMode(uint32_t mode, tStatus& status) {
    if (status.isFatal()) return;
    if (mode < kLowestCoolingMode || mode > kHighCoolingMode) {
        nKZAPALS100::setCode(status, kStatusArgumentOutOfRange, KZ_COMPONENT, kSource, __LINE__);
        return;
    }
    writePowerMonitorLimit(fpga_.backplanePowerMonitor(), kBackplanePowerMonitorLimit.index,
                           kBackplanePowerMonitorLimit.modes16To31, status);
    for (const PowerMonitorLimit& row : kSinkingBoardPowerMonitorLimits)
        writePowerMonitorLimit(fpga_.sinkingBoardPowerMonitor(), row.index,
                               mode == kHighCoolingMode ? row.mode32 : row.modes16To31, status);
}

void PowerController::enableTransformer(tStatus& status) {
    if (status.isFatal()) return;
    auto rampUp = fpga_.XfmrCtrlRampUpConfigReg();
    for (const RampUpStep& row : kTransformerRampUpSteps) {
        rampUp.setBits26_24(row.step, status)
            .setBits3_0(row.bits3_0, status)
            .setBits14_8(row.bits14_8, status)
            .setBit16(row.bit16, status)
            .setBit17(row.bit17, status)
            .setBit18(row.bit18, status)
            .flush(status);
    }
    waitForBit(kBackplaneReadingValid, fpga_.backplanePowerMonitor().Ina231Measurement(0), kReadingValidBit, status);
    fpga_.XfmrCtrlConfigReg().setBit3(1, status).writeBit1(1, status);
    waitForBit(kTransformerUp, fpga_.XfmrCtrlStatusReg(), kTransformerUpBit, status);
}

void PowerController::enableSinkingBoard(tStatus& status) {
    if (status.isFatal()) return;
    auto reading = fpga_.sinkingBoardPowerMonitor().Ina231Measurement(0);
    waitForBit(kSinkingBoardReadingValid, reading, kReadingValidBit, status);
    // The last value read counts even after a time-out; the time-out's status stays first.
    if (reading.getBits15_0(status) < kLowestSinkingBoardReading)
        nKZAPALS100::setCode(status, kStatusSinkingBoardReadingLow, KZ_COMPONENT, kSource, __LINE__);
    if (status.isFatal()) return;
    fpga_.SinkingBoardConfigReg().writeBit0(1, status);
}

void PowerController::configurePowerMonitor(tChipMap& chip, tWindowMap& window, uint32_t a, uint32_t b,
                                            tStatus& status) {
    if (status.isFatal()) return;
    chip.Ina231Calibration().setBits15_0(ina231Calibration(a, b), status).flush(status);
    // Continuous shunt and bus measurement, no averaging, the shortest conversion times.
    chip.Ina231Config()
        .setBits11_9(0, status)
        .setBits8_6(0, status)
        .setBits5_3(0, status)
        .setBits2_0(7, status)
        .flush(status);
    window.Ina231ConfigReg().writeBit30(1, status);
}

void PowerController::writeSinkingBoardBiasDac(tStatus& status) {
    if (status.isFatal()) return;
    waitForBit(kDacReady, fpga_.NisoBcPsDacStatusReg(), kDacReadyBit, status);
    if (status.isFatal()) return;
    const uint16_t value = manufacturing_.isChecksumValid(status)
                               ? static_cast<uint16_t>(manufacturing_.getSinkingBoardBiasDAC(status))
                               : kDefaultSinkingBoardBiasDac;
    fpga_.NisoBcPsDacConfigReg().setBits23_0((kDacCommand << 16) | value, status).flush(status);
}

void PowerController::writePowerMonitorLimit(tWindowMap& window, uint8_t index, uint16_t value, tStatus& status) {
    window.PowerMonitorTableReg().setBits18_16(index, status).setBits15_0(value, status).flush(status);
}

}  // namespace kzvorn_driver
