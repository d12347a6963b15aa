// The bridge's interrupt control, status and queue registers, and whether the device interrupts
// by message.
#pragma once

#include <cstdint>

#include "kzapal/protons/dma/dmaMap.h"
#include "kzapal/protons/status.h"

namespace kzvorn_driver {
namespace nKZAPAL000 {

class tQuolinInterruptManager {
public:
    static constexpr uint32_t kControl = 0x5C;
    static constexpr uint32_t kStatus = 0x60;
    static constexpr uint32_t kQueue = 0x68;
    static constexpr uint32_t kEnable = 0x80000000;
    static constexpr uint32_t kMask = 0x40000000;
    static constexpr uint32_t kPending = 0x80000000;
    static constexpr uint32_t kAllOnes = 0xFFFFFFFF;
    // configure (0): every pair at its lower bit.
    static constexpr uint32_t kReset = 0x54000500;

    tQuolinInterruptManager(const uint64_t& bridgeBase, bool msi);
    virtual ~tQuolinInterruptManager();
    tQuolinInterruptManager(const tQuolinInterruptManager&) = delete;
    tQuolinInterruptManager& operator=(const tQuolinInterruptManager&) = delete;

    virtual void deactivate();
    virtual void reactivate();
    // Interrupt context: whether the interrupt is the bridge's; masks it in legacy mode.
    virtual bool acknowledge();
    virtual void configure(uint32_t flags);
    // The oldest queue entry, 0 when the queue is empty.
    virtual uint32_t dequeueInterrupt();
    virtual void reenable();

    bool usesMSI() const { return msi_; }

protected:
    uint32_t read(uint32_t offset) const;
    void write(uint32_t offset, uint32_t value);
    void write64(uint32_t offset, uint64_t value);

private:
    const uint64_t* bridgeBase_;
    bool msi_;
};

// The variant in which the bridge writes its interrupt status words into a ring in host memory
// instead of queueing them behind the queue register. The ring is read from word 0 after each
// interrupt; re-enabling hands it back to the bridge, which clears control bit 0 when it has
// written words again. Nothing in the system constructs it.
class tQuolinInterruptManagerISP : public tQuolinInterruptManager {
public:
    static constexpr uint32_t kRingControl = 0x3B4;
    static constexpr uint32_t kRingAddress = 0x3B8;
    static constexpr uint32_t kRingCleared = 0x3C0;  // eight 64-bit registers
    static constexpr uint32_t kRingClearedCount = 8;
    static constexpr uint32_t kRingOn = 0x10000;
    static constexpr uint32_t kRingWordsShift = 10;
    // The control register's fields: the ring's words in bits 10-15, the bytes after the ring in
    // bits 0-9.
    static constexpr uint32_t kMaxRingWords = 0x3F;
    static constexpr uint32_t kMaxBytesAfterRing = 0x3FF;
    static constexpr uint32_t kRingHandedBack = 1;  // control bit 0
    static constexpr uint32_t kRingFlags = 4;
    static constexpr uint64_t kRingAlignment = 8;

    // A buffer of (a + b) x 8 bytes whose first 2 x b words are the ring. Fields the ring control
    // register cannot hold (b of 0, or above 31; a above 127): -52005, and no ring.
    tQuolinInterruptManagerISP(const uint64_t& bridgeBase, tDMAConfiguration& configuration, uint32_t a, uint32_t b,
                               bool msi, nKZAPALS100::tStatus& status);
    ~tQuolinInterruptManagerISP() override;

    void deactivate() override;
    void reactivate() override;
    bool acknowledge() override;
    uint32_t dequeueInterrupt() override;
    void reenable() override;

    bool isRingActive() const { return ringActive_; }
    uint32_t getRingEntries() const { return ringEntries_; }

private:
    void programRing();

    tPageList ringPages_;
    tStandardDMAMap ringMap_;
    volatile uint32_t* ring_ = nullptr;
    uint32_t ringEntries_;
    uint32_t readIndex_ = 0;
    bool ringActive_ = false;  // mapped for the device and programmed
    uint64_t bufferSize_;
};

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver
