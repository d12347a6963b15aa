// The three measure units of one isolated channel: their trigger path (the main-measure trigger
// mux), their CIC filters and record settings on the isolated side, and the measurements they
// deliver to the channel's measure-unit window of the non-isolated FPGA.
#pragma once

#include <cstddef>
#include <cstdint>

#include "atut/poller.h"
#include "kdut/cleanupOperation.h"
#include "kzapal/protons/synchronization.h"
#include "kzhtl/sharedPtr.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoChannelRegMap.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneNisoFpgaRegMap.h"

namespace kzvorn_driver {

// An idle flag that did not take its value in time, or a one-point measurement that never came.
constexpr int64_t kStatusMeasureUnitTimeout = KZ_DEVICE_CODE(0xBFFA4682);
// A continuous unit had no measurement ready.
constexpr int64_t kStatusMeasurementNotAvailable = KZ_DEVICE_CODE(0xBFFA430B);

// What the configure request carries (little endian).
struct MeasureUnitConfiguration {
    uint32_t downsampleRate;  // low 22 bits used
    uint8_t filterOrder;      // low 2 bits used
    uint8_t windowLsb;        // low 3 bits used
    uint8_t pointCompressible;
    uint8_t unused;
};
static_assert(sizeof(MeasureUnitConfiguration) == 8, "the configure request's record");
static_assert(offsetof(MeasureUnitConfiguration, filterOrder) == 4 && offsetof(MeasureUnitConfiguration, windowLsb) == 5 &&
                  offsetof(MeasureUnitConfiguration, pointCompressible) == 6,
              "the configure request's fields");

// One measurement as read from the window (little endian).
struct MeasureUnitMeasurement {
    uint32_t cicFilterConfig;
    uint32_t zero;
    uint32_t firstData;
    uint32_t firstHeader;
    uint32_t secondData;
    uint32_t secondHeader;
};
static_assert(sizeof(MeasureUnitMeasurement) == 24, "the measurement record");
static_assert(offsetof(MeasureUnitMeasurement, firstData) == 8 && offsetof(MeasureUnitMeasurement, firstHeader) == 12 &&
                  offsetof(MeasureUnitMeasurement, secondData) == 16 &&
                  offsetof(MeasureUnitMeasurement, secondHeader) == 20,
              "the measurement's words");

// The bit of a channel's unit in the non-isolated FPGA's measure FIFO status words.
constexpr uint32_t measureFifoBit(uint8_t channel, uint32_t unit) { return uint32_t{1} << (3 * channel + unit); }

class MeasureUnitController final : public kdut::CleanupOperationInterface {
public:
    using tStatus = nKZAPALS100::tStatus;
    using tNisoMap = kzvorn_regmaps::tTolvaneNisoFpgaRegMap;
    using tChannelMap = kzvorn_regmaps::tTolvaneIsoChannelRegMap;
    static constexpr int32_t kUnitCount = 3;

    // Creates the three locks (-52000 when refused), then enables fixed measurement on unit 2. A
    // channel without a measure-unit window: 0xBFFA4303, no access.
    MeasureUnitController(uint8_t channel, tNisoMap& niso, tChannelMap& channelMap, tStatus& status);
    ~MeasureUnitController() override {}
    MeasureUnitController(const MeasureUnitController&) = delete;
    MeasureUnitController& operator=(const MeasureUnitController&) = delete;

    // Arms the trigger path; an arm that fails is undone at once, the caller keeps the first error.
    void arm(tStatus& status);
    // Disarms the trigger path, aborts and resets unit 0 and waits for it to be idle.
    void reset(tStatus& status);
    void cleanup(tStatus& status) override { reset(status); }
    // Units outside 0 to 2: 0xBFFA4300 with no access.
    void configure(int32_t unit, uint32_t downsampleRate, uint8_t filterOrder, uint8_t windowLsb,
                   bool pointCompressible, bool continuous, tStatus& status);
    MeasureUnitMeasurement getMeasurement(int32_t unit, tStatus& status);

    kdut::CleanupOperationInterface* getCleanupOperation() { return this; }

private:
    bool checkUnit(int32_t unit, tStatus& status);
    void waitIdle(uint32_t unit, bool idle, tStatus& status);
    void waitData(uint32_t unit, tStatus& status);
    // The unit's measure-control strobe of the given bit.
    tChannelMap::tMuCtrlRegType control(uint32_t unit) { return channelMap_->MuCtrlRegType(unit); }

    uint8_t channel_;
    tNisoMap* niso_;
    tChannelMap* channelMap_;
    kzvorn_regmaps::tTolvaneNisoMeasureUnitRegMap* window_;
    // Unit 0's lock also guards the trigger path. Released last first.
    kzhtl::SharedPtr<nKZAPAL000::tMutex> locks_[kUnitCount];
    bool continuous_[kUnitCount] = {};
};

}  // namespace kzvorn_driver
