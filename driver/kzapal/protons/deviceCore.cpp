#include "kzapal/protons/deviceCore.h"

#include "kzapal/protons/statusCodes.h"

namespace kzvorn_driver {
namespace nKZAPAL000 {

namespace {

using nKZAPALS100::tStatus;

constexpr const char* kPnPStateNames[] = {
    "kPnPStateNotStarted", "kPnPStateReady", "kPnPStateIOSuspended", "kPnPStateSleep", "kPnPStateNotPresent",
};

uint32_t increment(uint32_t& counter) { return __atomic_add_fetch(&counter, 1, __ATOMIC_SEQ_CST); }
uint32_t decrement(uint32_t& counter) { return __atomic_sub_fetch(&counter, 1, __ATOMIC_SEQ_CST); }

}  // namespace

void tAsyncIOLink::append(tAsyncIOLink& link) {
    link.next = this;
    link.previous = previous;
    previous->next = &link;
    previous = &link;
}

void tAsyncIOLink::unlink() {
    previous->next = next;
    next->previous = previous;
    initialize();
}

tSession::tSession(tDeviceInterface* interface, tStatus& status) : interface_(interface), drainEvent_(true, true, status) {
    asyncIO_.initialize();
    asyncIO_.owner = nullptr;
}

tAsyncIO::tAsyncIO() {
    deviceLink_.initialize();
    deviceLink_.owner = this;
    sessionLink_.initialize();
    sessionLink_.owner = this;
}

tDeviceCore::tDeviceCore(tStatus& status)
    : asyncIOLock_(status), drainEvent_(true, true, status), gateEvent_(true, true, status) {
    asyncIO_.initialize();
    asyncIO_.owner = nullptr;
}

tDeviceCore::~tDeviceCore() = default;

tSession* tDeviceCore::open(tEventDescriptor&, tDeviceInterface*, tStatus& status) {
    KZ_SET_CODE(status, nKZAPALS100::kStatusFeatureNotSupported);
    return nullptr;
}

void tDeviceCore::close(tEventDescriptor& event) {
    tSession* session = event.session;
    if (session == nullptr) return;
    acquireAsyncIOLock();
    session->closing_ = true;
    releaseAsyncIOLock();
    cancelSessionAsyncIO(*session);
}

uint64_t tDeviceCore::read(tEventDescriptor&, tUserBuffer&, tStatus& status) {
    KZ_SET_CODE(status, nKZAPALS100::kStatusFeatureNotSupported);
    return 0;
}

uint64_t tDeviceCore::write(tEventDescriptor&, tUserBuffer&, tStatus& status) {
    KZ_SET_CODE(status, nKZAPALS100::kStatusFeatureNotSupported);
    return 0;
}

uint64_t tDeviceCore::ioControl(tEventDescriptor&, uint32_t, tUserBuffer&, tUserBuffer&, tStatus& status) {
    KZ_SET_CODE(status, nKZAPALS100::kStatusFeatureNotSupported);
    return 0;
}

void tDeviceCore::mapMemory(tEventDescriptor&, tUserMemoryMap&, tStatus& status) {
    KZ_SET_CODE(status, nKZAPALS100::kStatusFeatureNotSupported);
}

void tDeviceCore::createIONotifier(tEventDescriptor&, uint32_t, const tIONotifierParams&, tStatus& status) {
    KZ_SET_CODE(status, nKZAPALS100::kStatusFeatureNotSupported);
}

bool tDeviceCore::suspendIOProcessing(tEventDescriptor&, tSuspendReason reason, bool flag) {
    if (flag && getOpenSessionCount() != 0) return false;
    if (reason > 1) {
        setIOState(kIOStateSuspended);
    } else {
        setIOState(kIOStateClosed);
        gateEvent_.set();
    }
    cancelAllAsyncIO();
    return true;
}

void tDeviceCore::resumeIOProcessing(tEventDescriptor&) {
    setIOState(kIOStateOpen);
    gateEvent_.set();
}

void tDeviceCore::remove(tEventDescriptor&) {
    setIOState(kIOStateClosed);
    gateEvent_.set();
}

void tDeviceCore::setIOState(uint32_t state) {
    uint32_t word = __atomic_load_n(&ioState_, __ATOMIC_SEQ_CST);
    while (!__atomic_compare_exchange_n(&ioState_, &word, (word & ~kIOStateMask) | state, false, __ATOMIC_SEQ_CST,
                                        __ATOMIC_SEQ_CST)) {
    }
}

bool tDeviceCore::holdIO(tStatus& status) {
    if (status.isFatal()) return false;
    uint32_t word = __atomic_load_n(&ioState_, __ATOMIC_SEQ_CST);
    do {
        if (word != kIOStateOpen) {
            KZ_SET_CODE(status, nKZAPALS100::kStatusDeviceNotAcceptingIO);
            return false;
        }
    } while (!__atomic_compare_exchange_n(&ioState_, &word, word | kIOHeldByOperation, false, __ATOMIC_SEQ_CST,
                                          __ATOMIC_SEQ_CST));
    return true;
}

bool tDeviceCore::releaseIOHold() {
    const uint32_t state =
        __atomic_and_fetch(&ioState_, ~kIOHeldByOperation, __ATOMIC_SEQ_CST) & kIOStateMask;
    // Requests waiting at the gate go on, into the open gate or to fail at the closed one.
    if (state != kIOStateSuspended) gateEvent_.set();
    return state == kIOStateOpen;
}

void tDeviceCore::configureDMA(tDMAConfiguration::tDMAType type, tStatus&) {
    dmaConfiguration_.type = type;
    dmaConfiguration_.description = nullptr;
}

void tDeviceCore::enterPnPState(uint32_t state) {
    previousPnPState_ = pnpState_;
    pnpState_ = state;
}

bool tDeviceCore::setPnPState(tEventDescriptor& event, uint32_t target, tSuspendReason reason, bool flag,
                              tStatus& status) {
    if (status.isFatal()) return false;
    while (pnpState_ != target) {
        switch (pnpState_) {
            case kPnPStateNotStarted:
                if (target == kPnPStateNotPresent) {
                    remove(event);
                    enterPnPState(kPnPStateNotPresent);
                    return true;
                }
                start(event, status);
                if (status.isFatal()) return false;
                enterPnPState(kPnPStateReady);
                break;
            case kPnPStateReady:
                if (!suspendIOProcessing(event, reason, flag)) return false;
                enterPnPState(kPnPStateIOSuspended);
                break;
            case kPnPStateIOSuspended:
                if (target == kPnPStateReady) {
                    resumeIOProcessing(event);
                    enterPnPState(kPnPStateReady);
                    return true;
                }
                waitForIOReferencesToDrain(false, status, kWaitNoLimit);
                if (target == kPnPStateSleep) {
                    suspendPower(event);
                    enterPnPState(kPnPStateSleep);
                    return true;
                }
                stop(event);
                enterPnPState(kPnPStateNotStarted);
                break;
            case kPnPStateSleep:
                restorePower(event);
                enterPnPState(kPnPStateIOSuspended);
                break;
            default:
                // NotPresent is final.
                return false;
        }
    }
    return true;
}

tSession* tDeviceCore::openSession(tEventDescriptor& event, tDeviceInterface* interface, tStatus& status) {
    tSession* session = open(event, interface, status);
    if (status.isNotFatal()) countOpenedSession();
    return session;
}

void tDeviceCore::closeSession(tEventDescriptor& event, tSession* session) {
    while (session->getIOReferenceCount() != 0) session->drainEvent_.wait();
    session->drainEvent_.set();
    decrement(openSessions_);
    closeAndFreeSession(event, session);
}

// The reference counts before the gate is read again, so that a suspension coming in between
// either sees it or has it given back here.
inline bool tDeviceCore::takeOpenGate(tSession* session) {
    if (getIOState() != kIOStateOpen) return false;
    increment(ioReferences_);
    if (getIOState() == kIOStateOpen) {
        if (session != nullptr) increment(session->ioReferences_);
        return true;
    }
    if (decrement(ioReferences_) == 0) drainEvent_.set();
    return false;
}

bool tDeviceCore::acquireIOReference(tSession* session, tStatus& status, uint32_t timeout) {
    // An open gate, the way nearly every request finds it, without the waiting loop's frame.
    if (status.isNotFatal() && takeOpenGate(session)) return true;
    return waitForOpenGate(session, status, timeout);
}

bool tDeviceCore::waitForOpenGate(tSession* session, tStatus& status, uint32_t timeout) {
    for (;;) {
        if (status.isFatal()) return false;
        if (takeOpenGate(session)) return true;
        if (getIOState() == kIOStateClosed) {
            KZ_SET_CODE(status, nKZAPALS100::kStatusDeviceNotAcceptingIO);
            return false;
        }
        gateEvent_.wait(timeout, true, status);
        // Pass the wake-up on, so every waiter sees the change.
        if (getIOState() != kIOStateSuspended) gateEvent_.set();
    }
}

bool tDeviceCore::acquireIOReferenceNoWait(tSession* session, tStatus& status) {
    if (status.isFatal()) return false;
    if (takeOpenGate(session)) return true;
    KZ_SET_CODE(status, nKZAPALS100::kStatusDeviceNotAcceptingIO);
    return false;
}

void tDeviceCore::releaseIOReference(tSession* session) {
    if (session != nullptr && decrement(session->ioReferences_) == 0) session->drainEvent_.set();
    if (decrement(ioReferences_) == 0) drainEvent_.set();
}

void tDeviceCore::waitForIOReferencesToDrain(bool interruptible, tStatus& status, uint32_t timeout) {
    while (status.isNotFatal() && getIOReferenceCount() != 0) drainEvent_.wait(timeout, interruptible, status);
    if (status.isNotFatal()) drainEvent_.set();
}

void tDeviceCore::startAsyncIO(tAsyncIO& io, tSession* session, tStatus& status) {
    if (status.isFatal()) return;
    if (session != nullptr && session->closing_) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusAsyncIOSessionClosing);
        return;
    }
    if (!acquireIOReferenceNoWait(session, status)) return;
    io.state_ = 1;
    io.device_ = this;
    io.session_ = session;
    io.cancelRequested_ = false;
    io.cancelBlocked_ = false;
    io.status_.clear();
    io.startCallback();
    // Linked under the lock the cancel walks hold.
    acquireAsyncIOLock();
    asyncIO_.append(io.deviceLink_);
    if (session != nullptr) session->asyncIO_.append(io.sessionLink_);
    releaseAsyncIOLock();
}

void tDeviceCore::cancelLocked(tAsyncIO& io) {
    bool cancelled = false;
    if (!io.cancelRequested_ && !io.cancelBlocked_ && io.state_ == 1) cancelled = io.cancel();
    io.cancelRequested_ = true;
    if (!cancelled || io.state_ == 0) return;
    if (io.session_ != nullptr) io.sessionLink_.unlink();
    io.deviceLink_.unlink();
    io.state_ = 0;
    io.completeCallback(nullptr);
    releaseIOReference(io.session_);
}

void tDeviceCore::cancelList(tAsyncIOLink& list) {
    acquireAsyncIOLock();
    for (tAsyncIOLink* link = list.next; link != &list;) {
        tAsyncIOLink* next = link->next;
        cancelLocked(*link->owner);
        link = next;
    }
    releaseAsyncIOLock();
}

void tDeviceCore::cancelAsyncIO(tAsyncIO& io) {
    acquireAsyncIOLock();
    cancelLocked(io);
    releaseAsyncIOLock();
}

void tDeviceCore::cancelSessionAsyncIO(tSession& session) { cancelList(session.asyncIO_); }

void tDeviceCore::cancelAllAsyncIO() { cancelList(asyncIO_); }

const char* tDeviceCore::getPnPStateName(uint32_t state) {
    return state < sizeof(kPnPStateNames) / sizeof(kPnPStateNames[0]) ? kPnPStateNames[state] : "invalid";
}

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver
