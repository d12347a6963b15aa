// Admission of a device operation: an IO reference on the device (so that stop, removal and reset
// can wait for operations in flight), then the sentries in order.
#pragma once

#include "atut/invalidatableSession.h"
#include "kdut/setupTracker.h"
#include "kzapal/protons/deviceCore.h"
#include "kzapal/protons/statusCodes.h"
#include "kzapal/protons/synchronization.h"

namespace kdut {

class IOGateSentryInterface {
public:
    virtual ~IOGateSentryInterface() {}
    virtual void onEnterIOGate(nKZAPALS100::tStatus& status) = 0;
};

// Fails a session invalidated by a reset, stop or power-down.
class InvalidatableSessionIOGateSentry final : public IOGateSentryInterface {
public:
    explicit InvalidatableSessionIOGateSentry(atut::InvalidatableSession* session) : session_(session) {}
    ~InvalidatableSessionIOGateSentry() override {}

    void onEnterIOGate(nKZAPALS100::tStatus& status) override {
        if (status.isFatal() || session_ == nullptr) return;
        session_->check(status);
    }

private:
    atut::InvalidatableSession* session_;
};

// Fails an operation whose level the device has not reached, with what stopped the bring-up.
template <class tLevel>
class SetupLevelIOGateSentry final : public IOGateSentryInterface {
public:
    SetupLevelIOGateSentry(const SetupTracker<tLevel>& tracker, typename tLevel::type requiredLevel)
        : tracker_(&tracker), requiredLevel_(requiredLevel) {}
    ~SetupLevelIOGateSentry() override {}

    void onEnterIOGate(nKZAPALS100::tStatus& status) override {
        if (status.isFatal() || requiredLevel_ <= tracker_->reached) return;
        nKZAPALS100::merge(status, tracker_->status);
        // A tracker below the level without an error (a bring-up still running, or a warning)
        // must not admit an operation whose objects do not exist.
        if (status.isNotFatal()) KZ_SET_CODE(status, nKZAPALS100::kStatusNotStarted);
    }

private:
    const SetupTracker<tLevel>* tracker_;
    typename tLevel::type requiredLevel_;
};

// How a gate admits. A caller that already holds an IO reference takes only an open gate: waiting
// at a suspended one would keep that reference from the drain the suspension waits for.
enum IOGateAdmission { kWaitWhileSuspended, kOpenGateOnly };

// Over a device core with acquireIOReference(session, status, time-out),
// acquireIOReferenceNoWait(session, status) and releaseIOReference(session); the platform's below.
template <class tCore, class tSession>
class IOGateTemplate {
public:
    IOGateTemplate(tCore& core, tSession* session) : core_(&core), session_(session) {}
    virtual ~IOGateTemplate() { exit(); }
    IOGateTemplate(const IOGateTemplate&) = delete;
    IOGateTemplate& operator=(const IOGateTemplate&) = delete;

    // Room for the scope object's sentries, held in place: every request builds a gate, and an
    // allocation on each would be the request path's only one.
    static constexpr uint32_t kSentryCapacity = 2;

    void addSentry(IOGateSentryInterface* sentry, nKZAPALS100::tStatus& status) {
        if (status.isFatal()) return;
        if (sentryCount_ == kSentryCapacity) {
            KZ_SET_CODE(status, nKZAPALS100::kStatusMemoryFull);
            return;
        }
        sentries_[sentryCount_++] = sentry;
    }

    // Waits without a limit while the device's IO is suspended, unless told to take only an open gate.
    void enter(nKZAPALS100::tStatus& status) { enter(kWaitWhileSuspended, status); }
    void enter(IOGateAdmission admission, nKZAPALS100::tStatus& status) {
        if (status.isFatal() || entered_) return;
        const bool admitted = admission == kWaitWhileSuspended
                                  ? core_->acquireIOReference(session_, status, kzvorn_driver::nKZAPAL000::kWaitNoLimit)
                                  : core_->acquireIOReferenceNoWait(session_, status);
        if (!admitted) return;
        entered_ = true;
        for (uint32_t i = 0; i < sentryCount_; ++i) sentries_[i]->onEnterIOGate(status);
    }

    void exit() {
        if (!entered_) return;
        entered_ = false;
        core_->releaseIOReference(session_);
    }

    bool isEntered() const { return entered_; }

private:
    tCore* core_;
    tSession* session_;
    bool entered_ = false;
    IOGateSentryInterface* sentries_[kSentryCapacity] = {};
    uint32_t sentryCount_ = 0;
};

// The scope object that every device operation builds first. The admission runs on a status of its
// own, merged into the caller's; the operation proceeds only when the caller's status is then good.
template <class tCore, class tLevel, class tSession>
class AutoIOGateTemplate {
public:
    AutoIOGateTemplate(tCore& core, tSession* session, const SetupTracker<tLevel>& tracker,
                       typename tLevel::type requiredLevel, nKZAPALS100::tStatus& status)
        : AutoIOGateTemplate(core, session, tracker, requiredLevel, kWaitWhileSuspended, status) {}
    [[gnu::always_inline]] AutoIOGateTemplate(tCore& core, tSession* session, const SetupTracker<tLevel>& tracker,
                                              typename tLevel::type requiredLevel, IOGateAdmission admission,
                                              nKZAPALS100::tStatus& status)
        : gate_(core, session), sessionSentry_(validityOf(session)), levelSentry_(tracker, requiredLevel) {
        // The gate's own two sentries run here, in the order the gate would run them, called
        // directly rather than through its list: every request passes this way.
        nKZAPALS100::tStatus gateStatus;
        gate_.enter(admission, gateStatus);
        if (gate_.isEntered()) {
            sessionSentry_.onEnterIOGate(gateStatus);
            levelSentry_.onEnterIOGate(gateStatus);
        }
        if (!gateStatus.isSuccess()) nKZAPALS100::merge(status, gateStatus);
    }
    virtual ~AutoIOGateTemplate() { gate_.exit(); }
    AutoIOGateTemplate(const AutoIOGateTemplate&) = delete;
    AutoIOGateTemplate& operator=(const AutoIOGateTemplate&) = delete;

private:
    static atut::InvalidatableSession* validityOf(tSession* session) {
        return session == nullptr ? nullptr : static_cast<atut::InvalidatableSession*>(session);
    }

    IOGateTemplate<tCore, tSession> gate_;
    InvalidatableSessionIOGateSentry sessionSentry_;
    SetupLevelIOGateSentry<tLevel> levelSentry_;
};

// The device operations' gates, over the platform's device core.
using IOGate = IOGateTemplate<kzvorn_driver::nKZAPAL000::tDeviceCore, kzvorn_driver::nKZAPAL000::tSession>;
template <class tLevel, class tSession>
using AutoIOGate = AutoIOGateTemplate<kzvorn_driver::nKZAPAL000::tDeviceCore, tLevel, tSession>;

}  // namespace kdut
