// One of the bridge's DMA channels at register level: finds its block, resets it, starts it on
// the first link of a list, stops it, switches its notification and reads its transfer count.
#pragma once

#include <cstdint>

#include "kzapal/protons/dma/quolinSGL.h"
#include "kzapal/protons/status.h"

namespace kzvorn_driver {
namespace nKZAPAL000 {

class tQuolinDMAChannel {
public:
    // Bridge core registers that place the channel blocks.
    static constexpr uint32_t kBridgeCapability = 0x0C;
    static constexpr uint32_t kBridgeChannelOffset = 0x1C;
    // Channel block registers.
    static constexpr uint32_t kValue20 = 0x20;
    static constexpr uint32_t kValue28 = 0x28;
    static constexpr uint32_t kValue30 = 0x30;
    static constexpr uint32_t kValue34 = 0x34;
    static constexpr uint32_t kLinkAddress = 0x48;
    static constexpr uint32_t kLinkLength = 0x50;
    static constexpr uint32_t kControl = 0x54;
    static constexpr uint32_t kCommand = 0x58;
    static constexpr uint32_t kNotificationPosition = 0x90;
    static constexpr uint32_t kTransferCount = 0xA0;
    // Values.
    static constexpr uint32_t kCommandStart = 1;
    static constexpr uint32_t kCommandStartLinked = 5;
    static constexpr uint32_t kCommandStop = 2;
    static constexpr uint32_t kCommandLoadPosition = 0x2000000;
    static constexpr uint32_t kControlResetBegin = 1;
    static constexpr uint32_t kControlResetEnd = 2;
    static constexpr uint32_t kNotificationEnable = 0x2000000;
    static constexpr uint32_t kStatusStoppedMask = 0x0C008000;
    static constexpr uint32_t kNotificationKeepMask = 0xF0FF4FFF;
    static constexpr uint32_t kConfigureKeepMask = 0xFF00F7FF;

    tQuolinDMAChannel(const uint64_t& bridgeBase, uint32_t index);
    // With an error already held, the block stays unplaced and nothing is written.
    tQuolinDMAChannel(const uint64_t& bridgeBase, uint32_t index, nKZAPALS100::tStatus& status);
    tQuolinDMAChannel(uint64_t blockAddress, uint64_t blockSize, uint32_t index);
    virtual ~tQuolinDMAChannel() {}
    tQuolinDMAChannel(const tQuolinDMAChannel&) = delete;
    tQuolinDMAChannel& operator=(const tQuolinDMAChannel&) = delete;

    virtual void deactivate();
    virtual void reactivate();
    virtual void updateRunningState(uint32_t statusWord);

    void locateRegisters(const uint64_t& bridgeBase);
    // Places an existing channel at the given block and resets it.
    void place(uint64_t blockAddress, uint64_t blockSize);
    void resetChannel();
    void start(const tLinkInformation& link, bool mode);
    void setNotifications(uint32_t bits);
    void loadNotificationPosition(uint64_t position);
    uint64_t readTransferCount() const;
    void configure(uint32_t controlBits, uint32_t value30, uint64_t value20, uint32_t value34, uint64_t value28);

    uint64_t blockAddress() const { return blockAddress_; }
    uint64_t blockSize() const { return blockSize_; }
    bool isRunning() const { return running_; }
    uint32_t index() const { return index_; }

protected:
    void setRunning(bool running) { running_ = running; }
    uint32_t read32(uint32_t offset) const;
    void write32(uint32_t offset, uint32_t value);
    void write64(uint32_t offset, uint64_t value);

private:
    uint64_t blockAddress_ = 0;
    uint64_t blockSize_ = 0;
    bool running_ = false;
    uint32_t index_;
    uint32_t controlShadow_ = 0;
};

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver
