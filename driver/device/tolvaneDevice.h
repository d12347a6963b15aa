// The product device: the device template over the PCI device, with the product's interfaces,
// properties, channel reservations and the helper that owns the brought-up board.
#pragma once

#include <cstdint>

#include "device/tolvaneHelper.h"
#include "fendrelSharedSource/kernelSession.h"
#include "kdut/device.h"
#include "kdut/resourceReservation.h"
#include "kzapalcodegen/interfaceTemplates.h"
#include "kzapal/protons/pciDevice.h"
#include "kzvorn_driver_codegen/customResetParameters.h"
#include "kzvorn_shared/setupLevel.h"

namespace kzvorn_driver {

using TolvaneDeviceBase = kdut::Device<nKZAPAL000::tPCIDevice, kzvorn_shared::SetupLevel,
                                       fendrelsharedsource::KernelSession,
                                       kzvorn_driver_codegen::CustomResetParameters>;

class TolvaneDevice : public TolvaneDeviceBase, public tKzvornDeviceOperations {
public:
    static constexpr const char* kManufacturerName = "Kazmerion";
    static constexpr const char* kInterfaceName = kKzvornInterfaceName;
    static constexpr const char* kCoolingInterfaceName = kPxiCoolingInterfaceName;
    static constexpr int32_t kAlreadyReservedStatus = static_cast<int32_t>(0xBFFA4319);
    static constexpr int32_t kNotReservedStatus = static_cast<int32_t>(0xBFFA431A);
    static constexpr int32_t kInvalidResourceStatus = static_cast<int32_t>(0xBFFA4303);
    static constexpr uint64_t kChannelMask = 0xF;
    static constexpr tLevelType kRoutingLevel = 17;
    static constexpr tLevelType kDMALevel = 14;
    static constexpr uint32_t kRoutingNotifierType = 0x80000000;

    TolvaneDevice(const nKZAPAL000::tPCIDescription& description, nKZAPALS100::tStatus& status);
    ~TolvaneDevice() override;

    void createIONotifier(nKZAPAL000::tEventDescriptor& event, uint32_t type,
                          const nKZAPAL000::tIONotifierParams& params, nKZAPALS100::tStatus& status) override;
    void destroyIONotifier(nKZAPAL000::tEventDescriptor& event, uint32_t type) override;

    // The setup, reset, reservation and cooling requests.
    void kzvorn_getSetupLevel(nKZAPAL000::tEventDescriptor& event, const tStatusRecord& input, tValue32Record& output,
                              nKZAPALS100::tStatus& status) override;
    void kdut_reset(nKZAPAL000::tEventDescriptor& event, const tResetRecord& input, tStatusRecord& output,
                    nKZAPALS100::tStatus& status) override;
    void kdut_checkHardwareState(nKZAPAL000::tEventDescriptor& event, const tHardwareStateRecord& input,
                                 tStatusRecord& output, nKZAPALS100::tStatus& status) override;
    void kdut_cleanup(nKZAPAL000::tEventDescriptor& event, const tStatusRecord& input, tStatusRecord& output,
                      nKZAPALS100::tStatus& status) override;
    void kdut_reserveResources(nKZAPAL000::tEventDescriptor& event, const tMaskRecord& input, tStatusRecord& output,
                               nKZAPALS100::tStatus& status) override;
    void kzvoltixPXICooling_getCoolingMode(nKZAPAL000::tEventDescriptor& event, const tStatusRecord& input,
                                           tValue32Record& output, nKZAPALS100::tStatus& status) override;
    void kzvoltixPXICooling_overrideCoolingMode(nKZAPAL000::tEventDescriptor& event, const tValue32Record& input,
                                                tStatusRecord& output, nKZAPALS100::tStatus& status) override;
    void pxiCooling_getRequestedCoolingMode(nKZAPAL000::tEventDescriptor& event, const tStatusRecord& input,
                                            tValue32Record& output, nKZAPALS100::tStatus& status) override;
    void pxiCooling_setCoolingMode(nKZAPAL000::tEventDescriptor& event, const tValue32Record& input,
                                   tStatusRecord& output, nKZAPALS100::tStatus& status) override;

    // The named-access requests: register maps, device windows, storage maps.
    void arm_write(nKZAPAL000::tEventDescriptor& event, const tFieldWriteRecord& input, tStatusRecord& output,
                   nKZAPALS100::tStatus& status) override;
    void arm_read(nKZAPAL000::tEventDescriptor& event, const tFieldRecord& input, tValue32Record& output,
                  nKZAPALS100::tStatus& status) override;
    void arm_flushRegister(nKZAPAL000::tEventDescriptor& event, const tFieldFlushRecord& input, tStatusRecord& output,
                           nKZAPALS100::tStatus& status) override;
    void arm_refreshRegister(nKZAPAL000::tEventDescriptor& event, const tFieldRecord& input, tStatusRecord& output,
                             nKZAPALS100::tStatus& status) override;
    void arm_getNumberOfRegistrations(nKZAPAL000::tEventDescriptor& event, const tStatusRecord& input,
                                      tValue64Record& output, nKZAPALS100::tStatus& status) override;
    void arm_getRegistrationNames(nKZAPAL000::tEventDescriptor& event, const tUserBufferRecord& input,
                                  tStatusRecord& output, nKZAPALS100::tStatus& status) override;
    void arm_flushRegMap(nKZAPAL000::tEventDescriptor& event, const tNameForceRecord& input, tStatusRecord& output,
                         nKZAPALS100::tStatus& status) override;
    void arm_set(nKZAPAL000::tEventDescriptor& event, const tFieldSetRecord& input, tStatusRecord& output,
                 nKZAPALS100::tStatus& status) override;
    void arm_get(nKZAPAL000::tEventDescriptor& event, const tFieldRecord& input, tValue32Record& output,
                 nKZAPALS100::tStatus& status) override;
    void arm_writeEx(nKZAPAL000::tEventDescriptor& event, const tFieldWriteExRecord& input, tStatusRecord& output,
                     nKZAPALS100::tStatus& status) override;
    void arm_readEx(nKZAPAL000::tEventDescriptor& event, const tFieldExRecord& input, tValue64Record& output,
                    nKZAPALS100::tStatus& status) override;
    void arm_setEx(nKZAPAL000::tEventDescriptor& event, const tFieldSetExRecord& input, tStatusRecord& output,
                   nKZAPALS100::tStatus& status) override;
    void arm_getEx(nKZAPAL000::tEventDescriptor& event, const tFieldExRecord& input, tValue64Record& output,
                   nKZAPALS100::tStatus& status) override;
    void arm_flushRegisterEx(nKZAPAL000::tEventDescriptor& event, const tFieldFlushExRecord& input,
                             tStatusRecord& output, nKZAPALS100::tStatus& status) override;
    void arm_refreshRegisterEx(nKZAPAL000::tEventDescriptor& event, const tFieldExRecord& input, tStatusRecord& output,
                               nKZAPALS100::tStatus& status) override;
    void arm_getRegisterFormat(nKZAPAL000::tEventDescriptor& event, const tRegisterFormatRecord& input,
                               tValue32Record& output, nKZAPALS100::tStatus& status) override;
    void arm_getSizeOfRegistrationList(nKZAPAL000::tEventDescriptor& event, const tStatusRecord& input,
                                       tValue64Record& output, nKZAPALS100::tStatus& status) override;
    void arm_getRegistrationList(nKZAPAL000::tEventDescriptor& event, const tUserBufferRecord& input,
                                 tStatusRecord& output, nKZAPALS100::tStatus& status) override;
    void deviceWindow_flush(nKZAPAL000::tEventDescriptor& event, const tWindowFlushRecord& input, tStatusRecord& output,
                            nKZAPALS100::tStatus& status) override;
    void deviceWindow_getNumberOfRegistrations(nKZAPAL000::tEventDescriptor& event, const tStatusRecord& input,
                                               tValue64Record& output, nKZAPALS100::tStatus& status) override;
    void deviceWindow_getRegistrationNames(nKZAPAL000::tEventDescriptor& event, const tUserBufferRecord& input,
                                           tStatusRecord& output, nKZAPALS100::tStatus& status) override;
    void deviceWindow_getSizeInBytes(nKZAPAL000::tEventDescriptor& event, const tNameRecord& input,
                                     tValue64Record& output, nKZAPALS100::tStatus& status) override;
    void deviceWindow_write(nKZAPAL000::tEventDescriptor& event, const tWindowWriteRecord& input, tStatusRecord& output,
                            nKZAPALS100::tStatus& status) override;
    void deviceWindow_read(nKZAPAL000::tEventDescriptor& event, const tWindowGetRecord& input, tStatusRecord& output,
                           nKZAPALS100::tStatus& status) override;
    void deviceWindow_set(nKZAPAL000::tEventDescriptor& event, const tWindowSetRecord& input, tStatusRecord& output,
                          nKZAPALS100::tStatus& status) override;
    void deviceWindow_get(nKZAPAL000::tEventDescriptor& event, const tWindowGetRecord& input, tStatusRecord& output,
                          nKZAPALS100::tStatus& status) override;
    void deviceWindow_refresh(nKZAPAL000::tEventDescriptor& event, const tWindowRangeRecord& input,
                              tStatusRecord& output, nKZAPALS100::tStatus& status) override;
    void storageMap_flush(nKZAPAL000::tEventDescriptor& event, const tNameForceRecord& input, tStatusRecord& output,
                          nKZAPALS100::tStatus& status) override;
    void storageMap_getNumberOfRegistrations(nKZAPAL000::tEventDescriptor& event, const tStatusRecord& input,
                                             tValue64Record& output, nKZAPALS100::tStatus& status) override;
    void storageMap_getRegistrationNames(nKZAPAL000::tEventDescriptor& event, const tUserBufferRecord& input,
                                         tStatusRecord& output, nKZAPALS100::tStatus& status) override;
    void storageMap_getElementCount(nKZAPAL000::tEventDescriptor& event, const tFieldRecord& input,
                                    tValue64Record& output, nKZAPALS100::tStatus& status) override;
    void storageMap_getElementSize(nKZAPAL000::tEventDescriptor& event, const tFieldRecord& input,
                                   tValue64Record& output, nKZAPALS100::tStatus& status) override;
    void storageMap_refresh(nKZAPAL000::tEventDescriptor& event, const tNameRecord& input, tStatusRecord& output,
                            nKZAPALS100::tStatus& status) override;
    void storageMap_setRaw(nKZAPAL000::tEventDescriptor& event, const tStorageMapRawRecord& input,
                           tStatusRecord& output, nKZAPALS100::tStatus& status) override;
    void storageMap_getRaw(nKZAPAL000::tEventDescriptor& event, const tStorageMapRawRecord& input,
                           tStatusRecord& output, nKZAPALS100::tStatus& status) override;
    void storageMap_isChecksumValid(nKZAPAL000::tEventDescriptor& event, const tNameRecord& input,
                                    tValue8Record& output, nKZAPALS100::tStatus& status) override;

    TolvaneHelper* getHelper() const { return helper_; }
    kdut::ResourceReservationManager& getReservations() { return reservations_; }
    CoolingPair& getCoolingPair() { return cooling_; }
    uint32_t exchangeConnectedAccessory(uint32_t value) {
        return __atomic_exchange_n(&connectedAccessory_, value, __ATOMIC_SEQ_CST);
    }

    // Devices made from now on run the bring-up with this plan (null: every step real). A test
    // seam: a plan fakes bring-up steps whose levels are not in question.
    static void setBringUpPlan(const BringUpPlan* plan);

protected:
    void createHelper(nKZAPAL000::tEventDescriptor& event, const kzvorn_driver_codegen::CustomResetParameters* record,
                      nKZAPALS100::tStatus& status) override;
    void afterStart() override;
    void destroyHelper() override;
    fendrelsharedsource::KernelSession* createSession(nKZAPAL000::tEventDescriptor& event,
                                                      nKZAPAL000::tDeviceInterface* interface,
                                                      nKZAPALS100::tStatus& status) override;
    void closeSession(nKZAPAL000::tEventDescriptor& event, fendrelsharedsource::KernelSession* session) override;
    void buildDeviceProperties(nKZAPALS100::tStatus& status) override;
    bool onSuspendIOProcessing(nKZAPAL000::tEventDescriptor& event, tSuspendReason reason, bool flag) override;
    void onResumeIOProcessing(nKZAPAL000::tEventDescriptor& event) override;
    void answerNotSupported(nKZAPAL000::tEventDescriptor& event, uint32_t level, nKZAPALS100::tStatus& status) override;

private:
    using tGate = kdut::AutoIOGate<kzvorn_shared::SetupLevel, fendrelsharedsource::KernelSession>;

    static fendrelsharedsource::KernelSession* sessionOf(nKZAPAL000::tEventDescriptor& event) {
        return static_cast<fendrelsharedsource::KernelSession*>(event.session);
    }
    // The gate ran on a status of its own: true when it admitted the request, else its status is
    // merged into the operation's.
    static bool admitted(const nKZAPALS100::tStatus& gateStatus, nKZAPALS100::tStatus& status);
    // Passes the gate at the level and runs body on the registry the helper holds (-52002 when it
    // has none).
    template <class tRegistry, class tBody>
    void serveNamedAccess(nKZAPAL000::tEventDescriptor& event, uint32_t level,
                          tRegistry* (TolvaneHelper::*registry)() const, nKZAPALS100::tStatus& status, tBody&& body);
    // Also looks the register map up by the caller's name and runs body under its registration lock.
    template <class tBody>
    void accessRegisterMap(nKZAPAL000::tEventDescriptor& event, uint32_t level, uint64_t name, uint64_t nameLength,
                           nKZAPALS100::tStatus& status, tBody&& body);
    template <class tRegistry>
    uint64_t countRegistrations(nKZAPAL000::tEventDescriptor& event, uint32_t level,
                                tRegistry* (TolvaneHelper::*registry)() const, nKZAPALS100::tStatus& status);
    template <class tRegistry>
    void copyRegistrationNames(nKZAPAL000::tEventDescriptor& event, uint32_t level,
                               tRegistry* (TolvaneHelper::*registry)() const, uint64_t destination,
                               nKZAPALS100::tStatus& status);
    // The cooling requests of both interfaces, by requester (1 the override, 2 the cooling interface).
    void setCoolingMode(nKZAPAL000::tEventDescriptor& event, uint32_t mode, uint32_t requester,
                        nKZAPALS100::tStatus& status);

    nKZAPAL000::tProperty geographicAddress_;
    tInterfaceTemplate_kzvorn interface_;
    tInterfaceTemplate_pxiCooling coolingInterface_;
    uint32_t connectedAccessory_ = 0;
    kdut::ResourceReservationManager reservations_;
    CoolingPair cooling_ = {16, 0};
    TolvaneHelper* helper_ = nullptr;
    const BringUpPlan* plan_;
};

}  // namespace kzvorn_driver
