#include "device/tolvaneDevice.h"

#include <initializer_list>

#include "device/statusCodes.h"
#include "kzapal/protons/bridgeCapability.h"
#include "kzapal/protons/memory.h"
#include "kzark/routingSession.h"

namespace kzvorn_driver {

using nKZAPAL000::tEventDescriptor;
using nKZAPAL000::tProperty;
using nKZAPALS100::tStatus;

namespace {

// Plain data: set by tests before they add a board.
const BringUpPlan* gBringUpPlan = nullptr;

// Upper-case hexadecimal without leading zeros; the text holds at most eight digits.
void formatHex(uint32_t value, char (&text)[TolvaneDevice::kSerialNumberTextSize]) {
    char digits[8];
    uint32_t count = 0;
    do {
        digits[count++] = "0123456789ABCDEF"[value & 0xF];
        value >>= 4;
    } while (value != 0);
    for (uint32_t i = 0; i < count; ++i) text[i] = digits[count - 1 - i];
    text[count] = '\0';
}

}  // namespace

void TolvaneDevice::setBringUpPlan(const BringUpPlan* plan) { gBringUpPlan = plan; }

TolvaneDevice::TolvaneDevice(const nKZAPAL000::tPCIDescription& description, tStatus& status)
    : TolvaneDeviceBase(description, status),
      geographicAddress_{nullptr, tProperty::kTypeUnsigned32, nullptr, {0}},
      interface_(*this, this, nullptr, kInterfaceName),
      coolingInterface_(*this, this, nullptr, kCoolingInterfaceName),
      reservations_(static_cast<int32_t>(kStatusChannelsAlreadyReserved),
                    static_cast<int32_t>(kStatusChannelsNotReserved), static_cast<int32_t>(kStatusInvalidChannel),
                    kChannelMask, status),
      plan_(gBringUpPlan) {
    appendDeviceInterface(&interface_, status);
    appendDeviceInterface(&coolingInterface_, status);
}

// Stop has deleted the helper already.
TolvaneDevice::~TolvaneDevice() {}

void TolvaneDevice::createHelper(tEventDescriptor& event, const kzvorn_driver_codegen::CustomResetParameters* record,
                                 tStatus& status) {
    helper_ = TolvaneHelper::create(TolvaneHelper::Context{this, &event, &cooling_, plan_}, record, status, tracker_);
}

void TolvaneDevice::destroyHelper() {
    delete helper_;
    helper_ = nullptr;
}

void TolvaneDevice::afterStart() {
    if (helper_ != nullptr && tracker_.reached >= kRoutingLevel) helper_->attachRoutingResources();
}

// Waits refused since the suspension are accepted again.
void TolvaneDevice::onResumeIOProcessing(tEventDescriptor& event) {
    if (helper_ != nullptr && tracker_.reached >= kDMALevel) helper_->resumeDMAWaits();
    afterStart();
}

bool TolvaneDevice::onSuspendIOProcessing(tEventDescriptor& event, tSuspendReason reason, bool flag) {
    if (helper_ == nullptr) return false;
    if (tracker_.reached >= kDMALevel) helper_->cancelAllDMAWaits();
    if (tracker_.reached >= kRoutingLevel) helper_->detachRoutingResources();
    return false;
}

fendrelsharedsource::KernelSession* TolvaneDevice::createSession(tEventDescriptor& event,
                                                                 nKZAPAL000::tDeviceInterface* interface,
                                                                 tStatus& status) {
    kzark::RoutingResourcesManager* routing =
        helper_ != nullptr && tracker_.reached >= kRoutingLevel ? helper_->getRoutingResourcesManager() : nullptr;
    auto* session = new (status)
        fendrelsharedsource::KernelSession(interface, getResetGenerationCounter(),
                                           static_cast<int32_t>(kStatusChannelsNotReserved), &reservations_,
                                           routing, fendrelsharedsource::KernelSession::kCleanupCapacity, status);
    // A helper that could not make its cleanup set ran no level, so no session can start anything
    // that needs cleaning up; the session opens anyway, so that it can ask for the reset that
    // makes a new helper (a refusal would leave the device unusable until it is removed).
    kdut::CleanupOperationComposite* cleanup = helper_ != nullptr ? helper_->getCleanupOperations() : nullptr;
    if (status.isNotFatal() && cleanup != nullptr && cleanup->isUsable())
        cleanup->add(session->getCleanupOperations(), status);
    if (status.isFatal()) {
        // The open fails and nobody else would ever delete it.
        delete session;
        return nullptr;
    }
    return session;
}

void TolvaneDevice::closeSession(tEventDescriptor& event, fendrelsharedsource::KernelSession* session) {
    if (session == nullptr) return;
    if (helper_ != nullptr) {
        tStatus dropped;
        helper_->getCleanupOperations()->remove(session->getCleanupOperations(), dropped);
    }
    delete session;
}

void TolvaneDevice::buildDeviceProperties(tStatus& status) {
    uint32_t serialNumber = 0;
    if (helper_ != nullptr && tracker_.reached > 2) {
        tStatus own;
        serialNumber = helper_->getBoardSerialNumber(own);
        nKZAPALS100::merge(status, own);
    }
    formatHex(serialNumber, serialNumberText_);
    const char* modelName = helper_ != nullptr && tracker_.reached > 1 ? helper_->getModelName() : nullptr;

    serialNumber_.name = "serialNumber";
    serialNumber_.value.text = serialNumberText_;
    modelName_.name = "modelName";
    modelName_.value.text = modelName;
    manufacturerName_.name = "manufacturerName";
    manufacturerName_.value.text = kManufacturerName;
    for (tProperty* property : {&serialNumber_, &modelName_, &manufacturerName_}) appendDeviceProperty(property, status);

    tStatus geographic;
    nKZAPAL000::tGeographicAddress address(0xFFFFFFFF);
    {
        nKZAPAL000::tKZCapabilityPCIAccessor accessor(*this, geographic);
        accessor.getCapability(address, geographic);
    }
    geographicAddress_.name = "pxiGeographicAddress";
    geographicAddress_.value.number = geographic.isFatal() ? 0 : address.address;
    // Appended on the read's own status: a serial number the flash could not give leaves the
    // slot still worth publishing.
    appendDeviceProperty(&geographicAddress_, geographic);
    nKZAPALS100::merge(status, geographic);
}

void TolvaneDevice::createIONotifier(tEventDescriptor& event, uint32_t type,
                                     const nKZAPAL000::tIONotifierParams& params, tStatus& status) {
    kdut::AutoIOGate<kzvorn_shared::SetupLevel, fendrelsharedsource::KernelSession> gate(
        *this, static_cast<fendrelsharedsource::KernelSession*>(event.session), tracker_,
        kzvorn_shared::SetupLevel::kHighest, status);
    if (status.isFatal() || type != kRoutingNotifierType) return;
    if (event.session == nullptr) return void(KZ_SET_CODE(status, nKZAPALS100::kStatusNotStarted));
    // A session whose cleanup request destroyed its routing session has none to notify through.
    RoutingOf routing(event, status);
    if (routing) routing->openNotifier(params, status);
}

void TolvaneDevice::destroyIONotifier(tEventDescriptor& event, uint32_t type) {
    tStatus gateStatus;
    kdut::AutoIOGate<kzvorn_shared::SetupLevel, fendrelsharedsource::KernelSession> gate(
        *this, static_cast<fendrelsharedsource::KernelSession*>(event.session), tracker_,
        kzvorn_shared::SetupLevel::kHighest, gateStatus);
    if (gateStatus.isFatal() || type != kRoutingNotifierType || event.session == nullptr) return;
    tStatus ignored;
    RoutingOf routing(event, ignored);
    if (routing) routing->closeNotifier();
}

}  // namespace kzvorn_driver
