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
    Device(const tDescription& description, tStatus& status)
        : tBase(description, status), mutex_(status), resetTurn_(1, status) {
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

    // The plug-and-play machine's suspension (removal, stop, power-down). The gate changes first,
    // so that a running reset stops at its next step and leaves IO to this transition; the hooks
    // then wait for that reset under the device mutex, since they work on the helper it replaces.
    // A veto opens again what this transition closed.
    bool suspendIOProcessing(tEventDescriptor& event, tSuspendReason reason, bool flag) override {
        if (!tBase::suspendIOProcessing(event, reason, flag)) return false;
        kzvorn_driver::nKZAPAL000::tAutoLock lock(mutex_);
        if (!onSuspendIOProcessing(event, reason, flag)) return true;
        tBase::resumeIOProcessing(event);
        return false;
    }

    // The plug-and-play machine's resume (power restore).
    void resumeIOProcessing(tEventDescriptor& event) override {
        onResumeIOProcessing(event);
        tBase::resumeIOProcessing(event);
    }

    // Repeats the bring-up up to `target`, with the replacement parameters read from the caller's
    // memory when recordAddress is not 0. The caller's status receives the tracker's. A caller
    // that itself holds IO references for the request (its own gate) names them, so the wait for
    // the requests in flight does not wait for those.
    //
    // Resets run one at a time, whole, in the order they arrive; each reports what its own run
    // gave. One waiting for its turn still holds its caller's references and counts them as
    // queued, so the running reset does not wait for it; when its turn comes, its gate refuses it
    // if the reset before invalidated its session (0xBFFA9179). A reset never reopens a gate that
    // removal, stop or power-down closed: it stops at its next step and reports -52022.
    void reset(tEventDescriptor& event, tLevelType target, uint64_t recordAddress, tStatus& status,
               uint32_t callerIOReferences = 0) {
        if (status.isFatal()) return;
        ResetTurn turn(*this, callerIOReferences);
        kzvorn_driver::nKZAPAL000::tAutoLock lock(mutex_);
        tStatus gateStatus;
        AutoIOGate<tLevel, tSessionType> gate(*this, static_cast<tSessionType*>(event.session), tracker_,
                                              tLevel::kNone, kOpenGateOnly, gateStatus);
        if (gateStatus.isFatal()) {
            nKZAPALS100::merge(status, gateStatus);
            return;
        }
        if (!suspendIOForReset(event, status)) return;
        waitForRequestsInFlight(1 + callerIOReferences);
        if (isIOLeftToReset()) rebuild(event, target, recordAddress);
        if (resumeIOAfterReset(event)) {
            nKZAPALS100::merge(status, tracker_.status);
        } else {
            KZ_SET_CODE(status, nKZAPALS100::kStatusDeviceNotAcceptingIO);
        }
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
    // A reset's place in line: its caller's IO references count as queued until its turn comes.
    class ResetTurn {
    public:
        ResetTurn(Device& device, uint32_t callerIOReferences)
            : device_(device), references_(callerIOReferences) {
            __atomic_add_fetch(&device_.queuedResetReferences_, references_, __ATOMIC_SEQ_CST);
            device_.resetTurn_.acquire();
            __atomic_sub_fetch(&device_.queuedResetReferences_, references_, __ATOMIC_SEQ_CST);
        }
        ~ResetTurn() { device_.resetTurn_.release(); }
        ResetTurn(const ResetTurn&) = delete;
        ResetTurn& operator=(const ResetTurn&) = delete;

    private:
        Device& device_;
        uint32_t references_;
    };

    void raiseResetGeneration() { __atomic_add_fetch(&resetGeneration_, 1, __ATOMIC_SEQ_CST); }

    // The reset's suspension, beside the plug-and-play machine's and never over it: -52022 when a
    // transition of the machine has begun.
    bool suspendIOForReset(tEventDescriptor& event, tStatus& status) {
        if (!this->holdIO(status)) return false;
        onSuspendIOProcessing(event, kSuspendForReset, false);
        this->cancelAllAsyncIO();
        return true;
    }

    // False once a transition of the plug-and-play machine has taken the gate over.
    bool isIOLeftToReset() const { return this->getPnPIOState() == tBase::kIOStateOpen; }

    // Opens the gate again unless a transition of the machine has taken it over; false then.
    bool resumeIOAfterReset(tEventDescriptor& event) {
        if (isIOLeftToReset()) onResumeIOProcessing(event);
        return this->releaseIOHold();
    }

    // The reset's teardown and bring-up, with IO held and no request in flight.
    void rebuild(tEventDescriptor& event, tLevelType target, uint64_t recordAddress) {
        raiseResetGeneration();
        destroyHelper();
        tracker_.reset(target);
        // A transition that began during the teardown stops the reset before its bring-up; the
        // tracker says why nothing was built.
        if (!isIOLeftToReset()) KZ_SET_CODE(tracker_.status, nKZAPALS100::kStatusDeviceNotAcceptingIO);
        tResetParameters record;
        const bool withRecord = recordAddress != 0 && tracker_.status.isNotFatal();
        if (withRecord) {
            kzvorn_driver::nKZAPAL000::tUserBuffer buffer(event, recordAddress, sizeof(record), tracker_.status);
            buffer.readFromBuffer(0, &record, sizeof(record), tracker_.status);
        }
        createHelper(event, withRecord ? &record : nullptr, tracker_.status);
    }

    void invalidateAndDestroyHelper() {
        kzvorn_driver::nKZAPAL000::tAutoLock lock(mutex_);
        raiseResetGeneration();
        destroyHelper();
    }

    // The IO references held now, less those of resets waiting for their turn. Read in this
    // order, with IO held, it never falls below the references of the requests in flight: no
    // reference is taken any more, and the queued count only grows while a reset runs.
    uint32_t getIOReferencesInFlight() const {
        const uint32_t queued = __atomic_load_n(&queuedResetReferences_, __ATOMIC_SEQ_CST);
        return this->getIOReferenceCount() - queued;
    }

    // Waits until only the reset's own references remain, without a time limit (the time-out
    // status is never reported). What can hold a reference while it waits, and why each leaves:
    // - a request admitted before the suspension: it runs to its end; its hardware waits have
    //   deadlines, and the suspension's hook wakes the DMA waiters;
    // - an open admitted before the suspension: it only creates the session;
    // - a reset waiting for its turn: counted as queued, not waited for;
    // - the reset's own caller and its gate: the `remaining` references;
    // - a started asynchronous IO: the suspension cancels it (this system starts none);
    // - a request at the suspended gate holds none (its brief increment is given back at once),
    //   and neither does a session close waiting for the device mutex.
    // Removal, stop and power-down hold none either: they close or suspend the gate and wait for
    // this reset to leave.
    void waitForRequestsInFlight(uint32_t remaining) {
        const auto drain = atut::Wait<atut::tSleepEfficient>().pausesUs(1000, 10000).withoutDeadline().timeoutStatus(
            ioDrainTimeoutStatus_);
        tStatus status;
        atut::waitUntil(drain, [&](tStatus&) { return getIOReferencesInFlight(); },
                        atut::maskedEquals(0xFFFFFFFF, remaining), status);
    }

    kzhtl::Vector<tDeviceInterface*> interfaces_;
    kzhtl::Vector<tProperty*> properties_;
    kzvorn_driver::nKZAPAL000::tMutex mutex_;
    uint32_t resetGeneration_ = 0;
    // A semaphore of one unit: it hands its turn to the oldest waiter.
    kzvorn_driver::nKZAPAL000::tSemaphore resetTurn_;
    // IO references held by resets waiting for their turn.
    uint32_t queuedResetReferences_ = 0;
};

}  // namespace kdut
