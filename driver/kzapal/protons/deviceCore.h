// The root of every device object: plug-and-play state, the IO gate with its references, the
// open sessions and the asynchronous-I/O lists. Knows nothing of the operating system or the bus.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"
#include "kzapal/protons/synchronization.h"

namespace kzvorn_driver {
namespace nKZAPAL000 {

class tDeviceCore;
class tDeviceInterface;
class tSession;
class tUserBuffer;
class tUserMemoryMap;
class tAsyncIO;
class tPageList;
struct tIONotifierParams;
struct tProperty;

// Passed first to every device operation: the session it runs for, or none.
struct tEventDescriptor {
    tSession* session;
};

// Links of an intrusive circular list; a sentinel holds no owner.
struct tAsyncIOLink {
    tAsyncIOLink* next;
    tAsyncIOLink* previous;
    tAsyncIO* owner;

    void initialize() { next = previous = this; }
    bool empty() const { return next == this; }
    bool linked() const { return next != this; }
    void append(tAsyncIOLink& link);
    void unlink();
};

class tDMAConfiguration {
public:
    enum tDMAType : uint32_t { kDMATypeNone = 0, kDMAType32 = 1, kDMAType64 = 2 };

    virtual ~tDMAConfiguration() = default;
    // Defined with the DMA maps (dma/dmaMap.cpp).
    virtual void allocateDMABuffer(tPageList& pageList, uint64_t size, uint32_t flags, nKZAPALS100::tStatus& status,
                                   uint64_t alignment);
    virtual void freeDMABuffer(tPageList& pageList);

    uint32_t type = kDMATypeNone;
    const void* description = nullptr;
};

class tSession {
public:
    tSession(tDeviceInterface* interface, nKZAPALS100::tStatus& status);
    virtual ~tSession() = default;
    tSession(const tSession&) = delete;
    tSession& operator=(const tSession&) = delete;

    tDeviceInterface* getInterface() const { return interface_; }
    uint32_t getIOReferenceCount() const { return __atomic_load_n(&ioReferences_, __ATOMIC_SEQ_CST); }
    bool isClosing() const { return closing_; }

private:
    friend class tDeviceCore;
    tAsyncIOLink asyncIO_;
    tDeviceInterface* interface_;
    uint32_t ioReferences_ = 0;
    tEvent drainEvent_;
    bool closing_ = false;
};

// An asynchronous I/O operation a device may start for a session; this system starts none.
class tAsyncIO {
public:
    tAsyncIO();
    virtual ~tAsyncIO() = default;
    virtual void startCallback() {}
    // Whether the operation agreed to be cancelled.
    virtual bool cancel() { return false; }
    virtual void completeCallback(void* context) {}

    uint32_t getState() const { return state_; }

private:
    friend class tDeviceCore;
    tAsyncIOLink deviceLink_;
    tAsyncIOLink sessionLink_;
    nKZAPALS100::tStatus status_;
    tDeviceCore* device_ = nullptr;
    tSession* session_ = nullptr;
    uint32_t state_ = 0;  // 1 started, 0 finished
    bool cancelRequested_ = false;
    bool cancelBlocked_ = false;
};

class tDeviceCore {
public:
    enum tPnPState : uint32_t {
        kPnPStateNotStarted = 0,
        kPnPStateReady = 1,
        kPnPStateIOSuspended = 2,
        kPnPStateSleep = 3,
        kPnPStateNotPresent = 4,
    };
    enum tIOState : uint32_t { kIOStateClosed = 0, kIOStateSuspended = 1, kIOStateOpen = 2 };
    using tSuspendReason = uint32_t;

    explicit tDeviceCore(nKZAPALS100::tStatus& status);
    virtual ~tDeviceCore();
    tDeviceCore(const tDeviceCore&) = delete;
    tDeviceCore& operator=(const tDeviceCore&) = delete;

    virtual tDeviceInterface** getDeviceInterfaces() { return nullptr; }
    virtual tProperty** getDeviceProperties() { return nullptr; }
    virtual tSession* open(tEventDescriptor& event, tDeviceInterface* interface, nKZAPALS100::tStatus& status);
    virtual void close(tEventDescriptor& event);
    virtual void closeAndFreeSession(tEventDescriptor& event, tSession* session) {}
    virtual uint64_t read(tEventDescriptor& event, tUserBuffer& buffer, nKZAPALS100::tStatus& status);
    virtual uint64_t write(tEventDescriptor& event, tUserBuffer& buffer, nKZAPALS100::tStatus& status);
    virtual uint64_t ioControl(tEventDescriptor& event, uint32_t code, tUserBuffer& input, tUserBuffer& output,
                               nKZAPALS100::tStatus& status);
    virtual void mapMemory(tEventDescriptor& event, tUserMemoryMap& map, nKZAPALS100::tStatus& status);
    virtual void unmapMemory(tEventDescriptor& event, tUserMemoryMap& map) {}
    virtual void start(tEventDescriptor& event, nKZAPALS100::tStatus& status) {}
    virtual void stop(tEventDescriptor& event) {}
    virtual bool suspendIOProcessing(tEventDescriptor& event, tSuspendReason reason, bool flag);
    virtual void resumeIOProcessing(tEventDescriptor& event);
    virtual void suspendPower(tEventDescriptor& event) {}
    virtual void restorePower(tEventDescriptor& event) {}
    virtual void remove(tEventDescriptor& event);
    virtual void createIONotifier(tEventDescriptor& event, uint32_t type, const tIONotifierParams& params,
                                  nKZAPALS100::tStatus& status);
    virtual void destroyIONotifier(tEventDescriptor& event, uint32_t type) {}
    virtual void startBusDevice(tEventDescriptor& event, nKZAPALS100::tStatus& status) = 0;
    virtual void stopBusDevice() = 0;
    virtual void configureDMA(tDMAConfiguration::tDMAType type, nKZAPALS100::tStatus& status);
    virtual bool acquireIOReference(tSession* session, nKZAPALS100::tStatus& status, uint32_t timeout);
    virtual void releaseIOReference(tSession* session);
    virtual void acquireAsyncIOLock() { asyncIOLock_.acquire(); }
    virtual void releaseAsyncIOLock() { asyncIOLock_.release(); }

    bool setPnPState(tEventDescriptor& event, uint32_t target, tSuspendReason reason, bool flag,
                     nKZAPALS100::tStatus& status);
    tSession* openSession(tEventDescriptor& event, tDeviceInterface* interface, nKZAPALS100::tStatus& status);
    void closeSession(tEventDescriptor& event, tSession* session);
    bool acquireIOReferenceNoWait(tSession* session, nKZAPALS100::tStatus& status);
    void waitForIOReferencesToDrain(bool interruptible, nKZAPALS100::tStatus& status, uint32_t timeout);
    void startAsyncIO(tAsyncIO& io, tSession* session, nKZAPALS100::tStatus& status);
    void cancelAsyncIO(tAsyncIO& io);
    void cancelSessionAsyncIO(tSession& session);
    void cancelAllAsyncIO();

    static const char* getPnPStateName(uint32_t state);
    uint32_t getPnPState() const { return pnpState_; }
    uint32_t getPreviousPnPState() const { return previousPnPState_; }
    // The gate requests meet.
    uint32_t getIOState() const { return effectiveIOState(__atomic_load_n(&ioState_, __ATOMIC_SEQ_CST)); }
    // The gate as the plug-and-play side (start, the suspensions, resume, remove) left it.
    uint32_t getPnPIOState() const { return __atomic_load_n(&ioState_, __ATOMIC_SEQ_CST) & kIOStateMask; }
    uint32_t getOpenSessionCount() const { return __atomic_load_n(&openSessions_, __ATOMIC_SEQ_CST); }
    uint32_t getIOReferenceCount() const { return __atomic_load_n(&ioReferences_, __ATOMIC_SEQ_CST); }
    bool getPowerRestoreFlag() const { return powerRestore_; }
    const tDMAConfiguration& getDMAConfiguration() const { return dmaConfiguration_; }
    // What the device's DMA memory is allocated and mapped through.
    tDMAConfiguration& getDMAConfiguration() { return dmaConfiguration_; }

    // The open callback counts a session it stored.
    void countOpenedSession() { __atomic_add_fetch(&openSessions_, 1, __ATOMIC_SEQ_CST); }

    // A device operation's own suspension of IO (a reset's), beside the plug-and-play side's: the
    // gate is open only while that side has it open and no operation holds it, and closed
    // whenever that side closed it. Ending the hold therefore never reopens a gate that removal,
    // stop or power-down has closed or suspended meanwhile. -52022 when that side does not have
    // the gate open, or another operation holds it.
    bool holdIO(nKZAPALS100::tStatus& status);
    // True when the gate is open again.
    bool releaseIOHold();

protected:
    // The plug-and-play side's state; an operation's hold stays as it is.
    void setIOState(uint32_t state);
    void setGateEvent() { gateEvent_.set(); }
    void enterPnPState(uint32_t state);

    tDMAConfiguration dmaConfiguration_;

private:
    static constexpr uint32_t kIOStateMask = 0x3;
    static constexpr uint32_t kIOHeldByOperation = 0x4;
    static uint32_t effectiveIOState(uint32_t word) {
        const uint32_t state = word & kIOStateMask;
        return state == kIOStateOpen && (word & kIOHeldByOperation) != 0 ? kIOStateSuspended : state;
    }

    // An IO reference if the gate is open; nothing otherwise.
    [[gnu::always_inline]] inline bool takeOpenGate(tSession* session);
    bool waitForOpenGate(tSession* session, nKZAPALS100::tStatus& status, uint32_t timeout);
    // Both need the asynchronous-I/O lock held.
    void cancelLocked(tAsyncIO& io);
    void cancelList(tAsyncIOLink& list);

    tSecondaryISRLock asyncIOLock_;
    uint32_t pnpState_ = kPnPStateNotStarted;
    uint32_t previousPnPState_ = kPnPStateNotStarted;
    tEvent drainEvent_;
    uint32_t openSessions_ = 0;
    uint32_t ioReferences_ = 0;
    tAsyncIOLink asyncIO_;
    tEvent gateEvent_;
    // The plug-and-play side's state, with kIOHeldByOperation while an operation holds IO.
    uint32_t ioState_ = kIOStateClosed;
    bool powerRestore_ = true;
};

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver
