// The object that owns everything the board needs while it runs. Its constructor is the whole
// bring-up, its destructor the whole teardown.
#pragma once

#include <cstdint>

#include "controllers/coolingModeSetting.h"
#include "device/bringUpPlan.h"
#include "device/hardwareErrorCheckers.h"
#include "device/externalPLLSetup.h"
#include "device/isolatedRegMaps.h"
#include "device/localRAMConfigure.h"
#include "device/nonIsolatedObjects.h"
#include "device/pavoObjects.h"
#include "device/setupTasks.h"
#include "kdut/cleanupOperation.h"
#include "kdut/hardwareStateChecker.h"
#include "kdut/setupTracker.h"
#include "kzvorn_driver_codegen/customResetParameters.h"
#include "kzvorn_shared/setupLevel.h"
#include "setupTeardownTask/isolatedObjects.h"

namespace kzark {
class RoutingResourcesManager;
}
namespace fendreldma {
class DMADispatcher;
}
namespace quolintools {
class QuolinDMAInterruptController;
}

namespace kzvorn_driver {

class TolvaneDevice;
class DMAObjects;
class RoutingObjects;
class ChannelCalibrationLoaders;
namespace nKZAPAL000 {
struct tEventDescriptor;
}

using SetupTracker = kdut::SetupTracker<kzvorn_shared::SetupLevel>;

// The custom reset parameters with the two counts narrowed to 32 bits.
struct TolvaneHelperParameters {
    uint64_t nisoFpgaImage;
    uint64_t nisoFpgaImageSize;
    uint64_t isoFpgaImage;
    uint64_t isoFpgaImageSize;
    uint64_t subroutineWords;
    uint32_t subroutineWordCount;
    uint64_t subroutineIds;
    uint64_t subroutineStartAddresses;
    uint32_t subroutineCount;
    uint64_t disabledErrors;
    uint64_t disabledErrorCount;
};

class TolvaneHelper {
public:
    // What the bring-up needs besides the tracker. A null plan runs every step for real.
    struct Context {
        TolvaneDevice* device;
        const nKZAPAL000::tEventDescriptor* request;  // the request the bring-up reads user memory for; only during it
        CoolingPair* cooling;
        const BringUpPlan* plan;
    };

    // The device's way to make one: nothing when the status (the tracker's, for every caller)
    // holds an error; a count that does not fit in 32 bits records -52003 and makes none; null
    // when none was made. The outcome of the bring-up is the tracker's status and reached level.
    // Level 2: only the product's PCI subsystem identifier passes (0xBFFA4304 for another).
    static void checkSubsystemId(uint32_t subsystemId, nKZAPALS100::tStatus& status);

    static TolvaneHelper* create(const Context& context,
                                 const kzvorn_driver_codegen::CustomResetParameters* parameters,
                                 nKZAPALS100::tStatus& status, SetupTracker& tracker);

    TolvaneHelper(const Context& context, const TolvaneHelperParameters& parameters, SetupTracker& tracker);
    virtual ~TolvaneHelper();
    TolvaneHelper(const TolvaneHelper&) = delete;
    TolvaneHelper& operator=(const TolvaneHelper&) = delete;

    // The cleanup sets of the open sessions; the device adds one at open and removes it at close.
    kdut::CleanupOperationComposite* getCleanupOperations() { return &cleanupOperations_; }
    kdut::HardwareStateCheckerComposite* getHardwareStateCheckers() { return &checkers_; }

    // The manufacturing map's serial number: 0xBFFA4088 when its checksum does not hold,
    // 0xBFFA4082 when its version is not one this driver reads (0 then); 0 before level 3.
    uint32_t getBoardSerialNumber(nKZAPALS100::tStatus& status);
    // The stored-data checks; false before level 3 built the checkers.
    bool areStorageMapChecksumsValid(nKZAPALS100::tStatus& status);
    bool areStorageMapVersionsValid(nKZAPALS100::tStatus& status);
    // Level 3's objects; null before level 3 ran.
    PavoObjects* getPavoObjects() { return pavoObjects_; }
    // Whether level 4 loaded a replacement image from the reset's record.
    bool hasCustomNisoImage() const { return customNisoImage_; }
    // Whether level 7 loaded a replacement isolated image from the reset's record.
    bool hasCustomIsoImage() const { return customIsoImage_; }
    // Level 8's objects; null before level 8 ran.
    IsolatedRegMaps* getIsolatedRegMaps() { return isolatedRegMaps_; }
    // Level 5's objects; null before level 5 ran.
    NonIsolatedObjects* getNonIsolatedObjects() { return nonIsolatedObjects_; }
    // Level 11's objects; null before level 11 built them.
    IsolatedObjects* getIsolatedObjects() { return isolatedObjects_; }
    CalibrationDispatcher* getCalibrationDispatcher() {
        return isolatedObjects_ != nullptr ? isolatedObjects_->getCalibrationDispatcher() : nullptr;
    }
    // Level 10's registrar; null before level 10 loaded a package.
    const kzhtl::SharedPtr<draviktools::SubroutineRegistrarInterface>* getSubroutineRegistrar() const;
    // Level 12's; null before level 12 built it.
    TemperatureSensorController* getTemperatureSensorController();
    NonIsolatedControllers* getNonIsolatedControllers() {
        return nonIsolatedObjects_ != nullptr ? nonIsolatedObjects_->getControllers() : nullptr;
    }
    // The objects these reach are built from later levels on; until then there is nothing to hand
    // out or wake.
    // The capability record's model name; none before level 2.
    const char* getModelName() const { return getCapabilities() != nullptr ? getCapabilities()->modelName : nullptr; }
    const vantrel_caps::Caps* getCapabilities() const { return capsTask_.getCaps(); }
    // The named-access registries; none when level 1 did not run.
    armki::ARMDispatcher* getARMDispatcher() const { return namedAccess_.getARMDispatcher(); }
    devicewindow::DeviceWindowDispatcher* getDeviceWindowDispatcher() const {
        return namedAccess_.getDeviceWindowDispatcher();
    }
    storagemap::StorageMapDispatcher* getStorageMapDispatcher() const { return namedAccess_.getStorageMapDispatcher(); }
    // The isolated objects' hardware error controller; none until they are built.
    HardwareErrorControllerInterface* getHardwareErrorController() {
        return isolatedObjects_ != nullptr ? isolatedObjects_->getHardwareErrorController() : nullptr;
    }
    // The hardware-errors record to offset 0 of the caller's buffer, which must be exactly the
    // record's size (-52005 for another size or a null address); -52002 while no controller exists.
    void getHardwareErrors(const nKZAPAL000::tEventDescriptor& request, uint64_t address, uint32_t size,
                           nKZAPALS100::tStatus& status);
    // The argument must be 0 (-52005); then every registered checker in order on the status.
    void checkHardwareState(uint64_t argument, nKZAPALS100::tStatus& status);
    // The cooling mode in force is the device's pair. The cooling-mode setting that writes a new
    // mode to the chassis comes with level 5; until then no request can change the mode (-52002)
    // and the getters read the pair and the capability record (0 before level 2).
    void setCoolingMode(uint8_t mode, uint32_t requester, nKZAPALS100::tStatus& status);
    uint32_t getCoolingMode();
    uint32_t getRequestedCoolingMode();
    // Level 17's; none before it was built (or when it was faked), and then the two below do
    // nothing.
    kzark::RoutingResourcesManager* getRoutingResourcesManager();
    // The routing resources to every registered routing session, and withdrawn from them.
    void attachRoutingResources();
    void detachRoutingResources();
    // The stream requests' dispatcher; none before level 14.
    fendreldma::DMADispatcher* getDMADispatcher() const;
    // Waits until `count` bytes have moved on the stream since `start` (time-out in microseconds).
    // False when it did not reach the waiter table: the flag is then untouched (-52002 without
    // DMA objects). The stream is the caller's to check.
    bool waitUntilBytesTransferred(uint32_t stream, uint64_t start, uint64_t count, uint32_t timeout, bool* timedOut,
                                   nKZAPALS100::tStatus& status);
    // These do nothing without DMA objects.
    void cancelWaitUntilBytesTransferred(uint32_t stream);
    // Waits that begin afterwards fail at once too, until resumeDMAWaits.
    void cancelAllDMAWaits();
    void resumeDMAWaits();

    // ---- The channel requests: sequence engines, measure units, event latches, trigger overrides,
    // ganging, the hardware condition and the subroutine list. Each does nothing on an error
    // status; an object the bring-up did not build answers -52002, a channel the board does not
    // have 0xBFFA4303. `session` is the requesting session's cleanup set: a start adds the
    // object's cleanup operation only when it succeeded, the undo removes it only when it
    // succeeded (-52006, after the undo, when the set does not hold it).
    SubroutineDispatcher* getSubroutineDispatcher(uint8_t channel) {
        return isolatedObjects_ != nullptr ? isolatedObjects_->getSubroutineDispatcher(channel) : nullptr;
    }
    void armMeasureUnit(kdut::CleanupOperationComposite& session, uint8_t channel, nKZAPALS100::tStatus& status);
    void resetMeasureUnit(kdut::CleanupOperationComposite& session, uint8_t channel, nKZAPALS100::tStatus& status);
    // On the lowest channel of the mask, which must name the board's channels only (0xBFFA4303).
    void startSequenceEngine(kdut::CleanupOperationComposite& session, uint64_t mask, uint32_t count,
                             nKZAPALS100::tStatus& status);
    void resetSequenceEngine(kdut::CleanupOperationComposite& session, uint64_t mask, nKZAPALS100::tStatus& status);
    bool isSequenceEngineRunning(uint64_t mask, nKZAPALS100::tStatus& status);
    // Count 0 only releases the gang the start channel masters; its cleanup operation still joins.
    void reserveChannelsForGanging(kdut::CleanupOperationComposite& session, uint8_t start, uint8_t count,
                                   nKZAPALS100::tStatus& status);
    void unreserveChannelsForGanging(kdut::CleanupOperationComposite& session, uint8_t channel,
                                     nKZAPALS100::tStatus& status);
    uint32_t getMergeCount(uint8_t channel, nKZAPALS100::tStatus& status);
    bool isCurrentChannelGangingMaster(uint8_t channel, nKZAPALS100::tStatus& status);
    bool isCurrentChannelGangingReserved(uint8_t channel, nKZAPALS100::tStatus& status);
    // An event the latch map does not hold, or one whose bit lies past the 32-bit latch register:
    // 0xBFFA4300 before any access. True only when every channel of the mask (none: true) has it.
    bool checkEventLatch(uint64_t mask, uint16_t event, nKZAPALS100::tStatus& status);
    void clearEventLatch(uint64_t mask, uint16_t event, nKZAPALS100::tStatus& status);
    void clearAllEventLatches(uint64_t mask, nKZAPALS100::tStatus& status);
    // On the highest channel of the mask, channel 0 for an empty one; a trigger id other than
    // 1034 to 1037: -52002. True when the channel registered the trigger's occurrence.
    bool overrideTrigger(uint64_t mask, uint32_t trigger, nKZAPALS100::tStatus& status);
    // The board's error manager, then those of the mask's channels (none: the board alone).
    void checkBoardAndChannelBasedHardwareErrors(uint64_t mask, nKZAPALS100::tStatus& status);
    // Lowest channel first, each that holds an error: waits until its sequencer handled it, then
    // clears it. After a failure no later channel is touched.
    void clearChannelBasedHardwareErrors(uint64_t mask, nKZAPALS100::tStatus& status);
    void checkMeasureFIFOOverflowStatus(uint64_t mask, nKZAPALS100::tStatus& status);
    uint32_t getNumSubroutines(nKZAPALS100::tStatus& status);
    // The registered ids to the first array, their start addresses to the second, each exactly
    // `count` entries: a null address 0xBFFA4311, a count other than the registered one
    // 0xBFFA4312, both before anything is written.
    void getSubroutines(const nKZAPAL000::tEventDescriptor& request, uint64_t ids, uint64_t startAddresses,
                        uint32_t count, nKZAPALS100::tStatus& status);

    // ---- The instrument requests. Each does nothing on an error status (result 0 or false); an
    // object the bring-up did not build answers -52002. Alarm numbers above 1 give 0xBFFA4300; the
    // alarms act on the lowest channel of the mask.
    // Sensor 0 the voltage reference's, any other the non-isolated FPGA's.
    uint16_t readTemperatureSensor(uint32_t sensor, nKZAPALS100::tStatus& status);
    bool queryInCompliance(uint8_t channel, nKZAPALS100::tStatus& status);
    bool getAlarmRaised(uint64_t mask, uint32_t alarm, nKZAPALS100::tStatus& status);
    void clearAlarm(uint64_t mask, uint32_t alarm, nKZAPALS100::tStatus& status);
    void maskAlarm(uint64_t mask, uint32_t alarm, nKZAPALS100::tStatus& status);
    void unmaskAlarm(uint64_t mask, uint32_t alarm, nKZAPALS100::tStatus& status);
    // Every channel of the mask, lowest first; each is visited, and does nothing after a failure.
    void configureMeasureUnit(uint64_t mask, int32_t unit, const MeasureUnitConfiguration& configuration,
                              bool continuous, nKZAPALS100::tStatus& status);
    // The 24-byte measurement to offset 0 of the caller's buffer, which must be exactly that size
    // (-52005 for another size or a null address, before any access).
    void getMeasurement(const nKZAPAL000::tEventDescriptor& request, uint8_t channel, int32_t unit, uint64_t address,
                        uint32_t size, nKZAPALS100::tStatus& status);
    // The budget left, in microwatts; also when an increase is refused (0xBFFA40A9).
    uint32_t stagePowerAllocation(uint8_t channel, uint32_t microwatts, nKZAPALS100::tStatus& status);
    void commitPowerAllocation(uint8_t channel, nKZAPALS100::tStatus& status);
    void discardPowerAllocation(uint8_t channel, nKZAPALS100::tStatus& status);
    uint32_t getActualPowerAllocation(uint8_t channel, nKZAPALS100::tStatus& status);
    // The low 22 bits of the channel's DAC register, sign-extended; from the shadow when the read
    // fails.
    int32_t readDAC(uint8_t channel, nKZAPALS100::tStatus& status);
    // Written even when the register holds the value already.
    void writeCmccDigipot(uint8_t value, nKZAPALS100::tStatus& status);
    // Both mask checks, then the channels' stored calibration loaded without validation.
    void loadCalibrationToFirmwareFromStorageMapSoftcopy(uint64_t mask, nKZAPALS100::tStatus& status);

private:
    using tStep = void (TolvaneHelper::*)(nKZAPALS100::tStatus& status);

    void runBringUpStep(const BringUpStepRow& row);
    // The waiter table of level 14; none before.
    quolintools::QuolinDMAInterruptController* dmaWaits() const;
    // Level 5's; null before level 5 built it.
    CoolingModeSetting* getCoolingModeSetting();
    void runTeardownStep(const TeardownStepRow& row, nKZAPALS100::tStatus& status);

    // The functions the step rows name.
    // Runs the subroutine on channel 0's line 4 and waits for it (0xBFFA468C past its time-out).
    void runOnChannelZero(draviktools::SubroutineId id, nKZAPALS100::tStatus& status);
    void stepRegistries(nKZAPALS100::tStatus& status);
    void stepCapabilities(nKZAPALS100::tStatus& status);
    void stepPavoObjects(nKZAPALS100::tStatus& status);
    void stepNisoFirmware(nKZAPALS100::tStatus& status);
    void stepNonIsolatedObjects(nKZAPALS100::tStatus& status);
    void stepPowerController(nKZAPALS100::tStatus& status);
    void stepDisabledErrors(nKZAPALS100::tStatus& status);
    void stepIsoFirmware(nKZAPALS100::tStatus& status);
    void stepIsolatedRegMaps(nKZAPALS100::tStatus& status);
    void stepIsoConfigStrobe(nKZAPALS100::tStatus& status);
    void stepLocalRAM(nKZAPALS100::tStatus& status);
    void stepIsolatedObjects(nKZAPALS100::tStatus& status);
    void stepExternalPLL(nKZAPALS100::tStatus& status);
    void stepStartupSubroutine(nKZAPALS100::tStatus& status);
    void stepDMAObjects(nKZAPALS100::tStatus& status);
    void stepChannelCalibration(nKZAPALS100::tStatus& status);
    void stepInterruptVector(nKZAPALS100::tStatus& status);
    void stepChannelStartSubroutine(nKZAPALS100::tStatus& status);
    void stepSequencerDataRam(nKZAPALS100::tStatus& status);
    void stepIsoDisabledErrors(nKZAPALS100::tStatus& status);
    void stepFinalSubroutine(nKZAPALS100::tStatus& status);
    void stepChargeBalanceOffset(nKZAPALS100::tStatus& status);
    void stepModulatorTimebase(nKZAPALS100::tStatus& status);
    void stepRoutingObjects(nKZAPALS100::tStatus& status);

    void teardownNothingBuilt(nKZAPALS100::tStatus& status) {}
    void teardownSessionCleanup(nKZAPALS100::tStatus& status);
    void teardownShutdownSequencers(nKZAPALS100::tStatus& status);
    void teardownDisabledErrors(nKZAPALS100::tStatus& status);
    void teardownDMAObjects(nKZAPALS100::tStatus& status);
    void teardownRoutingObjects(nKZAPALS100::tStatus& status);
    void teardownNonIsolatedObjects(nKZAPALS100::tStatus& status);
    void teardownLocalRAM(nKZAPALS100::tStatus& status);
    void teardownIsolatedObjects(nKZAPALS100::tStatus& status);
    void teardownIsolatedRegMaps(nKZAPALS100::tStatus& status);
    void teardownExternalPLL(nKZAPALS100::tStatus& status);
    void teardownCalibrationLoaders(nKZAPALS100::tStatus& status);
    void teardownPavoObjects(nKZAPALS100::tStatus& status);
    void teardownWindowRegistries(nKZAPALS100::tStatus& status);
    void teardownRegisterMapRegistry(nKZAPALS100::tStatus& status);

    static const tStep kBringUpFunctions[kBringUpStepCount];
    static const tStep kTeardownFunctions[kTeardownStepCount];

    SetupTracker& tracker_;
    Context context_;
    TolvaneHelperParameters parameters_;
    kdut::CleanupOperationComposite cleanupOperations_;
    kdut::HardwareStateCheckerComposite checkers_;
    NamedAccessDispatchers namedAccess_;
    CapsTask capsTask_;
    PavoObjects* pavoObjects_ = nullptr;
    DMAObjects* dmaObjects_ = nullptr;
    ChannelCalibrationLoaders* calibrationLoaders_ = nullptr;
    RoutingObjects* routingObjects_ = nullptr;
    bool customNisoImage_ = false;
    NonIsolatedObjects* nonIsolatedObjects_ = nullptr;
    bool customIsoImage_ = false;
    IsolatedRegMaps* isolatedRegMaps_ = nullptr;
    LocalRAMConfigure* localRAM_ = nullptr;
    IsolatedObjects* isolatedObjects_ = nullptr;
    ExternalPLLSetup* externalPLL_ = nullptr;
    // Whether the disabled-error step did its work, which the undo reverses; kept until the helper
    // goes, so a failed bring-up undoes it at its end and again at the teardown.
    bool disabledErrorsActive_ = false;
};

}  // namespace kzvorn_driver
