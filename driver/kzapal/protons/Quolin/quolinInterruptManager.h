// The bridge's interrupt control, status and queue registers, and whether the device interrupts
// by message.
#pragma once

#include <cstdint>

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

private:
    uint32_t read(uint32_t offset) const;
    void write(uint32_t offset, uint32_t value);

    const uint64_t* bridgeBase_;
    bool msi_;
};

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver
