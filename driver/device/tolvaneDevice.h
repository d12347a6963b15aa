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
#include "kzvorn_shared/channelBitmask.h"
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
    static constexpr uint64_t kChannelMask = kzvorn_shared::kValidChannelBits;
    static constexpr tLevelType kRoutingLevel = 17;
    static constexpr tLevelType kDMALevel = 14;
    static constexpr uint32_t kRoutingNotifierType = 0x80000000;

    TolvaneDevice(const nKZAPAL000::tPCIDescription& description, nKZAPALS100::tStatus& status);
    ~TolvaneDevice() override;

    void createIONotifier(nKZAPAL000::tEventDescriptor& event, uint32_t type,
                          const nKZAPAL000::tIONotifierParams& params, nKZAPALS100::tStatus& status) override;
    void destroyIONotifier(nKZAPAL000::tEventDescriptor& event, uint32_t type) override;

    void passIOGate(nKZAPAL000::tEventDescriptor& event, uint32_t level, tGatedRequest& request) override;

    // The setup, reset, reservation and cooling requests.
    KZ_DECLARE_REQUEST_BODIES(kzvorn)
    KZ_DECLARE_REQUEST_BODIES(kdut)
    KZ_DECLARE_REQUEST_BODIES(kzvoltixPXICooling)
    KZ_DECLARE_REQUEST_BODIES(pxiCooling)
    // The named-access requests: register maps, device windows, storage maps.
    KZ_DECLARE_REQUEST_BODIES(arm)
    KZ_DECLARE_REQUEST_BODIES(deviceWindow)
    KZ_DECLARE_REQUEST_BODIES(storageMap)
    // The instrument requests, and what those whose output the gate does not settle answer when it
    // refuses.
    KZ_DECLARE_REQUEST_BODIES(vantrel)
    KZ_DECLARE_REQUEST_REFUSALS(vantrel)
    // The DMA stream requests.
    KZ_DECLARE_REQUEST_BODIES(quolinTools)
    // The routing requests, through the session's routing session.
    KZ_DECLARE_REQUEST_BODIES(routing)
    // The channel requests: hardware condition, measure units, triggers and events, ganging, and
    // the sequencer's; downloading and executing subroutines are not offered (-52002 behind the gate).
    KZ_DECLARE_REQUEST_BODIES(hwCondition)
    KZ_DECLARE_REQUEST_BODIES(measureUnit)
    KZ_DECLARE_REQUEST_BODIES(triggersAndEvents)
    KZ_DECLARE_REQUEST_BODIES(channelGanging)
    KZ_DECLARE_REQUEST_BODIES(dravik)

    // A channel index past the last channel, in any request: 0xBFFA4303. The index is compared on
    // the record field's full width.
    static void reportInvalidChannel(nKZAPALS100::tStatus& status);
    static void checkChannelIndex(uint32_t channel, nKZAPALS100::tStatus& status);

    // What a channel request checks on its mask: nothing, the bits past the last channel, or those
    // and an empty mask (reported once).
    enum class tMaskCheck { kNone, kInvalidBits, kFull };
    // Whether the request's session must have reserved the channels it names (0xBFFA431A).
    enum class tReserve { kNo, kYes };
    // The common sequence of a channel request once its gate has admitted it: its argument check,
    // then the reservation, each only on a clean status. Returns the helper to forward to, or null
    // when the status holds an error.
    TolvaneHelper* admitChannel(nKZAPAL000::tEventDescriptor& event, uint32_t channel, tReserve reserve,
                                nKZAPALS100::tStatus& status);
    TolvaneHelper* admitMask(nKZAPAL000::tEventDescriptor& event, uint64_t mask, tMaskCheck check, tReserve reserve,
                             nKZAPALS100::tStatus& status);
    // The alarm requests' mask: the full check, then exactly one channel (0xBFFA4303 otherwise).
    TolvaneHelper* admitAlarmMask(uint64_t mask, nKZAPALS100::tStatus& status);

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
    using tGate = kdut::AutoIOGate<kzvorn_shared::SetupLevel, fendrelsharedsource::KernelSession>;

    static fendrelsharedsource::KernelSession* sessionOf(nKZAPAL000::tEventDescriptor& event) {
        return static_cast<fendrelsharedsource::KernelSession*>(event.session);
    }
    // Runs body on the registry the helper holds (-52002 when it has none).
    template <class tRegistry, class tBody>
    void serveNamedAccess(tRegistry* (TolvaneHelper::*registry)() const, nKZAPALS100::tStatus& status, tBody&& body);
    // Also looks the register map up by the caller's name and runs body under its registration lock.
    template <class tBody>
    void accessRegisterMap(nKZAPAL000::tEventDescriptor& event, uint64_t name, uint64_t nameLength,
                           nKZAPALS100::tStatus& status, tBody&& body);
    template <class tRegistry>
    uint64_t countRegistrations(tRegistry* (TolvaneHelper::*registry)() const, nKZAPALS100::tStatus& status);
    template <class tRegistry>
    void copyRegistrationNames(nKZAPAL000::tEventDescriptor& event, tRegistry* (TolvaneHelper::*registry)() const,
                               uint64_t destination, nKZAPALS100::tStatus& status);
    // The single-field register-map requests, each over its plain record and its Ex record.
    template <class tRecord, class tOperation>
    void accessField(nKZAPAL000::tEventDescriptor& event, const tRecord& input, nKZAPALS100::tStatus& status,
                     tOperation&& operation);
    template <class tRecord>
    void writeField(nKZAPAL000::tEventDescriptor& event, const tRecord& input, nKZAPALS100::tStatus& status);
    template <class tRecord>
    void setField(nKZAPAL000::tEventDescriptor& event, const tRecord& input, nKZAPALS100::tStatus& status);
    // get or read: from the shadow or from the hardware.
    using tFieldValueAccess = void (arm::DynamicAccessInterfaceBase<nKZAPALS100::tStatus>::*)(
        uint32_t, uint64_t&, nKZAPALS100::tStatus&, uint32_t);
    template <class tRecord, class tOutput>
    void valueOfField(nKZAPAL000::tEventDescriptor& event, const tRecord& input, tOutput& output,
                      tFieldValueAccess access, nKZAPALS100::tStatus& status);
    template <class tRecord>
    void flushField(nKZAPAL000::tEventDescriptor& event, const tRecord& input, nKZAPALS100::tStatus& status);
    template <class tRecord>
    void refreshField(nKZAPAL000::tEventDescriptor& event, const tRecord& input, nKZAPALS100::tStatus& status);
    // The helper on a clean status; null otherwise (-52002 when there is none).
    TolvaneHelper* forwardTarget(nKZAPALS100::tStatus& status);
    // The request's routing session, held until the request ends; none, with -52020, after the
    // session's cleanup request.
    class RoutingOf {
    public:
        RoutingOf(nKZAPAL000::tEventDescriptor& event, nKZAPALS100::tStatus& status) : use_(*sessionOf(event)) {
            if (use_.get() == nullptr) KZ_SET_CODE(status, nKZAPALS100::kStatusNotStarted);
        }
        kzark::RoutingSession* get() const { return use_.get(); }
        kzark::RoutingSession* operator->() const { return use_.get(); }
        explicit operator bool() const { return use_.get() != nullptr; }

    private:
        fendrelsharedsource::KernelSession::RoutingSessionUse use_;
    };
    // The stream requests' dispatcher: -52002 when the helper has none.
    fendreldma::DMADispatcher* dmaDispatcher(nKZAPALS100::tStatus& status);
    static kdut::CleanupOperationComposite& cleanupsOf(nKZAPAL000::tEventDescriptor& event);
    // A wait's stream and the reservation of its channel.
    static void checkWaitStream(nKZAPAL000::tEventDescriptor& event, uint32_t stream, nKZAPALS100::tStatus& status);
    // The cooling requests of both interfaces, by requester (1 the override, 2 the cooling interface).
    void setCoolingMode(uint32_t mode, uint32_t requester, nKZAPALS100::tStatus& status);

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
