// The product-independent device template: turns the device core's plug-and-play and IO-gate
// events into the product's life cycle (bring-up by creating the helper, teardown by deleting it),
// opens and closes sessions, and resets the board to a setup level. The product supplies the hooks.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "atut/poller.h"
#include "kdut/ioGate.h"
#include "kdut/setupTracker.h"
#include "kdut/statusCodes.h"
#include "kzapal/protons/device.h"
#include "kzapal/protons/statusCodes.h"
#include "kzapal/protons/synchronization.h"
#include "kzapal/protons/userMemory.h"
#include "kzapal/quarks/time.h"
#include "kzhtl/vector.h"

namespace kdut {

template <class tBase, class tLevel, class tSessionType, class tResetParameters>
class Device : public tBase {
public:
    using tStatus = nKZAPALS100::tStatus;
    using tEventDescriptor = kzvorn_driver::nKZAPAL000::tEventDescriptor;
    using tDeviceInterface = kzvorn_driver::nKZAPAL000::tDeviceInterface;
    using tProperty = kzvorn_driver::nKZAPAL000::tProperty;
    using tSession = kzvorn_driver::nKZAPAL000::tSession;
    using tLevelType = typename tLevel::type;
    using tSuspendReason = typename tBase::tSuspendReason;

    static constexpr tSuspendReason kSuspendForReset = 2;
    static constexpr uint32_t kSerialNumberTextSize = 9;

    template <class tDescription>
    Device(const tDescription& description, tStatus& status) : tBase(description, status), mutex_(status) {
        for (tProperty* property : {&serialNumber_, &modelName_, &manufacturerName_}) {
            *property = tProperty{nullptr, tProperty::kTypeText, nullptr, {0}};
        }
        interfaces_.push_back(nullptr, status);
        properties_.push_back(nullptr, status);
    }
    ~Device() override {}

    tDeviceInterface** getDeviceInterfaces() override { return interfaces_.data(); }
    tProperty** getDeviceProperties() override { return properties_.data(); }

    tSession* open(tEventDescriptor& event, tDeviceInterface* interface, tStatus& status) override {
        AutoIOGate<tLevel, tSessionType> gate(*this, nullptr, tracker_, tLevel::kNone, status);
        if (status.isFatal()) return nullptr;
        return createSession(event, interface, status);
    }

    void closeAndFreeSession(tEventDescriptor& event, tSession* session) override {
        kzvorn_driver::nKZAPAL000::tAutoLock lock(mutex_);
        closeSession(event, static_cast<tSessionType*>(session));
    }

    // A failed bring-up never fails the start: the device comes up at the level it reached.
    void start(tEventDescriptor& event, tStatus& status) override {
        if (status.isFatal()) return;
        tracker_.reset(tLevel::kHighest);
        createHelper(event, nullptr, tracker_.status);
        tStatus properties;
        clearDeviceProperties();
        buildDeviceProperties(properties);
        afterStart();
        this->setIOState(tBase::kIOStateOpen);
        this->setGateEvent();
    }

    void stop(tEventDescriptor& event) override { invalidateAndDestroyHelper(); }
    void suspendPower(tEventDescriptor& event) override { invalidateAndDestroyHelper(); }

    void restorePower(tEventDescriptor& event) override {
        tracker_.reset(tLevel::kHighest);
        if (this->getPowerRestoreFlag()) {
            createHelper(event, nullptr, tracker_.status);
        } else {
            KZ_SET_CODE(tracker_.status, nKZAPALS100::kStatusNotStarted);
        }
    }

    bool suspendIOProcessing(tEventDescriptor& event, tSuspendReason reason, bool flag) override {
        if (onSuspendIOProcessing(event, reason, flag)) return false;
        return tBase::suspendIOProcessing(event, reason, flag);
    }

    void resumeIOProcessing(tEventDescriptor& event) override {
        onResumeIOProcessing(event);
        tBase::resumeIOProcessing(event);
    }

    // Repeats the bring-up up to `target`, with the replacement parameters read from the caller's
    // memory when recordAddress is not 0. The caller's status receives the tracker's. A caller
    // that itself holds IO references for the request (its own gate) names them, so the wait for
    // the requests in flight does not wait for those.
    void reset(tEventDescriptor& event, tLevelType target, uint64_t recordAddress, tStatus& status,
               uint32_t callerIOReferences = 0) {
        if (status.isFatal()) return;
        kzvorn_driver::nKZAPAL000::tAutoLock lock(mutex_);
        tStatus gateStatus;
        AutoIOGate<tLevel, tSessionType> gate(*this, static_cast<tSessionType*>(event.session), tracker_,
                                              tLevel::kNone, gateStatus);
        if (gateStatus.isFatal()) {
            nKZAPALS100::merge(status, gateStatus);
            return;
        }
        suspendIOProcessing(event, kSuspendForReset, false);
        waitForRequestsInFlight(1 + callerIOReferences);
        raiseResetGeneration();
        destroyHelper();
        tracker_.reset(target);
        tResetParameters record;
        const bool withRecord = recordAddress != 0 && tracker_.status.isNotFatal();
        if (withRecord) {
            kzvorn_driver::nKZAPAL000::tUserBuffer buffer(event, recordAddress, sizeof(record), tracker_.status);
            buffer.readFromBuffer(0, &record, sizeof(record), tracker_.status);
        }
        createHelper(event, withRecord ? &record : nullptr, tracker_.status);
        nKZAPALS100::merge(status, tracker_.status);
        resumeIOProcessing(event);
    }

    const SetupTracker<tLevel>& getSetupTracker() const { return tracker_; }
    uint32_t getResetGeneration() const { return __atomic_load_n(&resetGeneration_, __ATOMIC_SEQ_CST); }

protected:
    // The product hooks.
    virtual void createHelper(tEventDescriptor& event, const tResetParameters* parameters, tStatus& status) = 0;
    virtual void afterStart() = 0;
    virtual void destroyHelper() = 0;
    virtual tSessionType* createSession(tEventDescriptor& event, tDeviceInterface* interface, tStatus& status) = 0;
    virtual void closeSession(tEventDescriptor& event, tSessionType* session) = 0;
    virtual void buildDeviceProperties(tStatus& status) = 0;
    // True vetoes the suspension.
    virtual bool onSuspendIOProcessing(tEventDescriptor& event, tSuspendReason reason, bool flag) { return false; }
    virtual void onResumeIOProcessing(tEventDescriptor& event) {}

    // Both lists stay null-terminated.
    void appendDeviceInterface(tDeviceInterface* interface, tStatus& status) {
        if (status.isFatal()) return;
        interfaces_.insert(interfaces_.end() - 1, interface, status);
    }
    void appendDeviceProperty(tProperty* property, tStatus& status) {
        if (status.isFatal()) return;
        properties_.insert(properties_.end() - 1, property, status);
    }
    void clearDeviceProperties() {
        if (properties_.size() > 1) properties_.erase(properties_.begin(), properties_.end() - 1);
    }

    const uint32_t* getResetGenerationCounter() const { return &resetGeneration_; }

    int32_t ioDrainTimeoutStatus_ = static_cast<int32_t>(kStatusIODrainTimeout);
    SetupTracker<tLevel> tracker_;
    char serialNumberText_[kSerialNumberTextSize] = {};
    tProperty serialNumber_;
    tProperty modelName_;
    tProperty manufacturerName_;

private:
    void raiseResetGeneration() { __atomic_add_fetch(&resetGeneration_, 1, __ATOMIC_SEQ_CST); }

    void invalidateAndDestroyHelper() {
        kzvorn_driver::nKZAPAL000::tAutoLock lock(mutex_);
        raiseResetGeneration();
        destroyHelper();
    }

    // No time limit: the time-out status is never reported.
    void waitForRequestsInFlight(uint32_t remaining) {
        using tWait = kzvorn_driver::nKZAPAL000::tTimeout<kzvorn_driver::nKZAPAL000::tTimeWasterSleep,
                                                          kzvorn_driver::nKZAPAL000::tTimebaseEfficient>;
        const atut::Poller<tWait> poller(1000, 10000, ioDrainTimeoutStatus_);
        const kzvorn_driver::nKZAPAL000::tDeviceCore& core = *this;
        tStatus status;
        poller.waitForValueNoStatus(core, &kzvorn_driver::nKZAPAL000::tDeviceCore::getIOReferenceCount, remaining,
                                    0xFFFFFFFF, status);
    }

    kzhtl::Vector<tDeviceInterface*> interfaces_;
    kzhtl::Vector<tProperty*> properties_;
    kzvorn_driver::nKZAPAL000::tMutex mutex_;
    uint32_t resetGeneration_ = 0;
};

}  // namespace kdut
