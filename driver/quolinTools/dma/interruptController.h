// The bridge interrupt: the interrupt handler claims it, a deferred call drains the bridge's
// interrupt queue, and the work item of each queued id's notifier runs on the controller's own
// thread, where it may take sleeping locks.
#pragma once

#include <cstdint>
#include <new>

#include "kzapal/protons/Quolin/quolinInterruptManager.h"
#include "kzapal/protons/pciDevice.h"
#include "kzapal/protons/secondaryInterruptHandler.h"
#include "kzapal/protons/synchronization.h"
#include "kzapal/quarks/workQueue.h"
#include "kzhtl/sharedPtr.h"

namespace quolintools {

class QuolinDMAInterruptController;

class InterruptNotifierRegistryInterface {
public:
    virtual ~InterruptNotifierRegistryInterface() {}
    virtual void registerNotifier(QuolinDMAInterruptController& target, uint32_t id,
                                  nKZAPALS100::tStatus& status) = 0;
    virtual void unregisterNotifier(uint32_t id) = 0;
};

class InterruptController : public kzvorn_driver::nKZAPAL000::iPrimaryInterruptHandler,
                            public kzvorn_driver::nKZAPAL000::tSecondaryInterruptHandler,
                            public InterruptNotifierRegistryInterface {
public:
    using tSecondaryISRLock = kzvorn_driver::nKZAPAL000::tSecondaryISRLock;

    // Queue entries: bit 30 more entries follow, bit 28 valid, the low bits the id.
    static constexpr uint32_t kMoreEntries = 0x40000000;
    static constexpr uint32_t kValidEntry = 0x10000000;
    static constexpr uint32_t kIdMask = 0x3FFF;
    static constexpr uint32_t kConfigureFlags = 0x10000000;
    static constexpr int32_t kNoWorkPrintLevel = 0x3000;
    static constexpr const char* kNoWorkText = "Interrupt handled, but no work was done";
    static constexpr const char* kThreadName = "kzvorn_driver";

    class InterruptNotifierWorkItem : public kzvorn_driver::nKZAPAL000::tWorkItemWrapper {
    public:
        InterruptNotifierWorkItem(QuolinDMAInterruptController* target, uint32_t id, tSecondaryISRLock* queueLock)
            : target_(target), id_(id), queueLock_(queueLock) {}
        ~InterruptNotifierWorkItem() override {}

        virtual kzvorn_driver::nKZAPAL000::tWorkItem* workFunc();
        kzvorn_driver::nKZAPAL000::tWorkItem* work() override;
        void lockedPreWorkFunc() override;
        uint32_t getId() const { return id_; }

    private:
        friend class InterruptController;

        QuolinDMAInterruptController* target_;
        uint32_t id_;
        tSecondaryISRLock* queueLock_;
        // Under the queue lock. An unregistered item lives on through its own reference until the
        // worker has finished running it.
        bool running_ = false;
        bool retired_ = false;
        kzhtl::SharedPtr<InterruptNotifierWorkItem> self_;
    };

    // Registers the interrupt and enables it only when everything before succeeded. The bridge's
    // queue register is drained through a manager of the controller's own.
    InterruptController(kzvorn_driver::nKZAPAL000::tPCIDevice& device, const uint64_t& bridgeBase,
                        nKZAPALS100::tStatus& status);
    // The same over the caller's manager (the status ring's), which outlives the controller.
    InterruptController(kzvorn_driver::nKZAPAL000::tPCIDevice& device, const uint64_t& bridgeBase,
                        kzvorn_driver::nKZAPAL000::tQuolinInterruptManager& manager, nKZAPALS100::tStatus& status);
    ~InterruptController() override;

    bool handlePrimaryInterrupt() override;
    void registerNotifier(QuolinDMAInterruptController& target, uint32_t id, nKZAPALS100::tStatus& status) override;
    // The notifier is freed at once, or by the worker when it is running its item.
    void unregisterNotifier(uint32_t id) override;
    // Drains the bridge's interrupt queue.
    void handleInterrupt() override;

    uint32_t listedNotifiers();

private:
    using tQuolinInterruptManager = kzvorn_driver::nKZAPAL000::tQuolinInterruptManager;

    // The manager in use: one made in place over the bridge, or the caller's.
    class tManager {
    public:
        tManager(const uint64_t& bridgeBase, bool msi, tQuolinInterruptManager* given)
            : manager_(given != nullptr ? given : new (storage_) tQuolinInterruptManager(bridgeBase, msi)),
              owned_(given == nullptr) {}
        ~tManager() {
            if (owned_) manager_->~tQuolinInterruptManager();
        }
        tManager(const tManager&) = delete;
        tManager& operator=(const tManager&) = delete;
        tQuolinInterruptManager* operator->() const { return manager_; }

    private:
        alignas(tQuolinInterruptManager) unsigned char storage_[sizeof(tQuolinInterruptManager)];
        tQuolinInterruptManager* manager_;
        bool owned_;
    };

    InterruptController(kzvorn_driver::nKZAPAL000::tPCIDevice& device, const uint64_t& bridgeBase,
                        tQuolinInterruptManager* manager, nKZAPALS100::tStatus& status);

    struct tNotifierLinks {
        tNotifierLinks* next;
        tNotifierLinks* previous;
    };
    struct tNotifier : tNotifierLinks {
        kzhtl::SharedPtr<InterruptNotifierWorkItem> item;
    };

    // Under the notifier lock.
    tNotifier* findNotifier(uint32_t id);
    static void unlink(tNotifierLinks& links);
    // Takes the item off the queue; what the caller must drop once no lock is held.
    kzhtl::SharedPtr<InterruptNotifierWorkItem> retire(InterruptNotifierWorkItem& item);

    kzvorn_driver::nKZAPAL000::tPCIDevice& device_;
    kzvorn_driver::nKZAPAL000::tSecondaryInterruptRedirector<InterruptController> redirector_;
    tManager manager_;
    const uint64_t* bridgeBase_;
    tSecondaryISRLock workQueueLock_;
    kzvorn_driver::nKZAPAL000::tWorkQueue<tSecondaryISRLock, 1> workQueue_;
    tSecondaryISRLock notifierLock_;
    tNotifierLinks notifiers_;
    // Everything up to the notifier lock was created: only then can notifiers have been listed.
    bool locksCreated_;
    bool registered_ = false;
};

}  // namespace quolintools
