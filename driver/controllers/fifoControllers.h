// The non-isolated FPGA's FIFO controls: the reset of one DMA stream's application FIFO, and the
// overflow flags of the channels' measure FIFOs.
#pragma once

#include <cstdint>

#include "kdut/cleanupOperation.h"
#include "kzapal/protons/synchronization.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneNisoFpgaRegMap.h"

namespace vantrel_shared {

class MeasureFIFOOverflowStatusControllerInterface {
public:
    virtual ~MeasureFIFOOverflowStatusControllerInterface() {}
    virtual bool isChannelOverflowed(uint8_t channel, nKZAPALS100::tStatus& status) = 0;
    // 0xBFFA4037 when a channel of the mask has overflowed.
    virtual void checkOverflow(uint64_t channelMask, nKZAPALS100::tStatus& status) = 0;
};

}  // namespace vantrel_shared

namespace kzvorn_driver {

constexpr int64_t kStatusMeasureFifoOverflowed = KZ_DEVICE_CODE(0xBFFA4037);

class DMAFifoControllerInterface {
public:
    virtual ~DMAFifoControllerInterface() {}
    virtual void clearFifo(nKZAPALS100::tStatus& status) = 0;
    virtual kdut::CleanupOperationInterface* getCleanupOperation() = 0;
};

class DMAFifoController final : public DMAFifoControllerInterface, public kdut::CleanupOperationInterface {
public:
    using tResetRegister = kzvorn_regmaps::tTolvaneNisoFpgaRegMap::tStreamCircuitResetFifoRegType;

    explicit DMAFifoController(const tResetRegister& reset) : reset_(reset) {}
    // Even streams measure, odd streams source; stream s resets the FIFO of channel s / 2.
    static tResetRegister resetRegisterOf(kzvorn_regmaps::tTolvaneNisoFpgaRegMap& map, unsigned stream) {
        return stream % 2 == 0 ? map.StreamCircuitResetFifoEven(stream / 2) : map.StreamCircuitResetFifoOdd(stream / 2);
    }

    // The strobe leaves the shadow after every good write, so every call writes.
    void clearFifo(nKZAPALS100::tStatus& status) override {
        if (status.isNotFatal()) reset_.writeBit0(1, status);
    }
    kdut::CleanupOperationInterface* getCleanupOperation() override { return this; }
    void cleanup(nKZAPALS100::tStatus& status) override { clearFifo(status); }

private:
    tResetRegister reset_;
};

class MeasureFIFOOverflowStatusController final : public vantrel_shared::MeasureFIFOOverflowStatusControllerInterface {
public:
    using tStatusRegister = kzvorn_regmaps::tTolvaneNisoFpgaRegMap::tMeasureFifoStatusRegType;

    // -52000 when the lock cannot be made; the controller is then not used.
    MeasureFIFOOverflowStatusController(const tStatusRegister& first, nKZAPALS100::tStatus& status)
        : status_(first), lock_(status) {}

    bool isChannelOverflowed(uint8_t channel, nKZAPALS100::tStatus& status) override;
    void checkOverflow(uint64_t channelMask, nKZAPALS100::tStatus& status) override;

private:
    bool isOverflowed(uint64_t channelMask, nKZAPALS100::tStatus& status);

    tStatusRegister status_;
    nKZAPAL000::tMutex lock_;
};

}  // namespace kzvorn_driver
