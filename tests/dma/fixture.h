// DMA memory over the kernel-layer stand-in: a board on the bus, whose granted DMA mask decides
// the addressing, and a DMA configuration as the device's DMA set-up leaves it. Every test ends
// with no DMA fault the test did not take and no page list, pin or scatter-gather list left.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "board/board.h"
#include "board/linkWalker.h"
#include "kal/sim/dma.h"
#include "kal/sim/faults.h"
#include "kal/sim/pci.h"
#include "kal/sim/user.h"
#include "kzapal/protons/dma/dmaMap.h"
#include "kzapal/protons/dma/quolinSGL.h"
#include "kzapal/protons/pciDevice.h"
#include "kzapal/protons/statusCodes.h"
#include "kzkal/kzkal.h"

namespace dmatest {

using namespace kzvorn_driver::nKZAPAL000;
using nKZAPALS100::tStatus;

constexpr uint64_t k4GiB = 0x100000000ull;

// No DMA fault the test did not take, and no page list, pin or scatter-gather list left.
inline void expectNoDMALeft() {
    for (const kal::sim::DMAFault& fault : kal::sim::takeDMAFaults())
        ADD_FAILURE() << "DMA fault at 0x" << std::hex << fault.busAddress << ": " << kal::sim::dmaFaultText(fault.kind);
    const kal::sim::DMAState state = kal::sim::dmaState();
    EXPECT_TRUE(state.pageLists.empty());
    EXPECT_TRUE(state.sgls.empty());
    EXPECT_EQ(state.pinnedPages, 0u);
}

class DMAFixture : public ::testing::Test {
protected:
    void SetUp() override { function_ = &kal::sim::plugBoard(board_); }

    void TearDown() override {
        expectNoDMALeft();
        kal::sim::unplugBoard(*function_);
        kal::sim::setSGLSplit(kal::sim::SGLSplit::Page);
        kal::sim::setPageSize(0);
    }

    // As the device's configureDMA does: 64-bit addressing when the platform grants the mask.
    void configure(uint32_t type, int32_t node = -1) {
        board_.platform().numaNode = node;
        buildPCIDescription(description_, function_->record, nullptr);
        void* pci = function_->record.pciHandle;
        if (type == tDMAConfiguration::kDMAType64 && nKZKAL220_pciSetDMAMask(pci, ~uint64_t{0}) != 0)
            type = tDMAConfiguration::kDMAType32;
        if (type == tDMAConfiguration::kDMAType32) {
            ASSERT_EQ(nKZKAL220_pciSetDMAMask(pci, 0xFFFFFFFFull), 0);
        }
        configuration_.type = type;
        configuration_.description = &description_;
    }

    board::HostMemoryPort& port() { return *board_.hostMemory(); }

    board::LinkWalk walk(const tLinkInformation& start, uint32_t laps = 1) {
        return board::walkLinks(port(), start.busAddress, start.usedLength, laps);
    }

    // The bytes the transfer descriptors of a walk name, read through the port in order.
    std::vector<uint8_t> gather(const board::LinkWalk& walk) {
        std::vector<uint8_t> bytes;
        for (const board::LinkEntry& entry : walk.entries) {
            if (entry.selfConfig) continue;
            const size_t at = bytes.size();
            bytes.resize(at + entry.count);
            EXPECT_TRUE(port().read(entry.address, bytes.data() + at, entry.count));
        }
        return bytes;
    }

    static std::vector<uint64_t> addresses(const board::LinkWalk& walk) {
        std::vector<uint64_t> result;
        for (const board::LinkEntry& entry : walk.entries) result.push_back(entry.address);
        return result;
    }

    board::Board board_;
    kal::sim::PciFunction* function_ = nullptr;
    tPCIDescription description_{};
    tDMAConfiguration configuration_;
};

// Page-aligned memory registered as a caller's (all of it, or its first `registered` bytes), as
// the harness registers request buffers.
class UserPages {
public:
    explicit UserPages(size_t pages, size_t registered = ~size_t{0})
        : storage_((pages + 1) * kPage),
          base_(reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(storage_.data()) + kPage - 1) / kPage * kPage)),
          size_(pages * kPage), registered_(base_, registered < size_ ? registered : size_) {
        for (size_t i = 0; i < size_; ++i) base_[i] = static_cast<uint8_t>(i * 7 + i / 4096);
    }
    uint8_t* data() { return base_; }
    uint64_t address(size_t offset = 0) const { return reinterpret_cast<uint64_t>(base_) + offset; }
    size_t size() const { return size_; }

private:
    static constexpr size_t kPage = 4096;
    std::vector<uint8_t> storage_;
    uint8_t* base_;
    size_t size_;
    kal::sim::UserMemory registered_;
};

// The link's bytes as the processor sees them.
inline uint32_t word32(const tQuolinSGLChunkyLink& link, uint32_t offset) {
    uint32_t value;
    std::memcpy(&value, link.getKernelAddress() + offset, sizeof value);
    return value;
}
inline uint64_t word64(const tQuolinSGLChunkyLink& link, uint32_t offset) {
    uint64_t value;
    std::memcpy(&value, link.getKernelAddress() + offset, sizeof value);
    return value;
}

}  // namespace dmatest
