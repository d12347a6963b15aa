// The product device: the device template over the PCI device, with the product's interfaces,
// properties, channel reservations and the helper that owns the brought-up board.
#pragma once

#include <cstdint>

#include "device/tolvaneHelper.h"
#include "fendrelSharedSource/kernelSession.h"
#include "kdut/device.h"
#include "kdut/resourceReservation.h"
#include "kzapal/protons/pciDevice.h"
#include "kzvorn_driver_codegen/customResetParameters.h"
#include "kzvorn_shared/setupLevel.h"

namespace kzvorn_driver {

using TolvaneDeviceBase = kdut::Device<nKZAPAL000::tPCIDevice, kzvorn_shared::SetupLevel,
                                       fendrelsharedsource::KernelSession,
                                       kzvorn_driver_codegen::CustomResetParameters>;

class TolvaneDevice : public TolvaneDeviceBase {
public:
    static constexpr const char* kManufacturerName = "Kazmerion";
    static constexpr const char* kInterfaceName = "smu_kzvorn";
    static constexpr const char* kCoolingInterfaceName = "nPXICOOLING_17_2_pxiCooling";
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

private:
    nKZAPAL000::tProperty geographicAddress_;
    nKZAPAL000::tDeviceInterface interface_;
    nKZAPAL000::tDeviceInterface coolingInterface_;
    uint32_t connectedAccessory_ = 0;
    kdut::ResourceReservationManager reservations_;
    CoolingPair cooling_ = {16, 0};
    TolvaneHelper* helper_ = nullptr;
    const BringUpPlan* plan_;
};

}  // namespace kzvorn_driver
