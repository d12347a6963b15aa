// The bridge core's FPGA configuration port (BAR0 0x440-0x467, port select in 0x510 bits 8-10).
// A write of 0x440 with bit 0 starts a load of the size in 0x458 to the FPGA behind the selected
// port (2 the non-isolated FPGA, 3 the isolated one): that FPGA loses its configuration, 0x448
// bit 5 (done) clears and bit 2 (ready) sets once the port can take data. The image arrives as
// 64-bit stores and byte writes to 0x460; at its last byte the port checks it (board/fpgaImage.h)
// and a valid image configures the FPGA with the header's signature and sets bit 5. Port 2 can
// take data only while IO port 2 reports its link enabled, port 3 only while the isolation link is
// in state 1.
//
// The data transfers stay out of the board's access log: each load keeps a record instead, and
// the port keeps the latest kLoadsKept loads. A load checks its image as it streams in (the
// header's bytes and a running CRC-32), without keeping the image.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "board/bar0Map.h"
#include "board/board.h"
#include "board/boundedLog.h"
#include "board/fpgaImage.h"
#include "board/accessPorts.h"
#include "board/hostAllocator.h"
#include "board/switchedBusInterface.h"

namespace board {

constexpr unsigned kNonIsolatedFpga = 0;
constexpr unsigned kIsolatedFpga = 1;

struct FpgaPortOptions {
    bool neverReady = false;    // bit 2 never sets: no load can start
    bool neverDone = false;     // bit 5 never sets: every load stalls after its last byte
    bool acceptAny = false;     // every complete load configures its FPGA, image valid or not
    uint64_t readyDelayUs = 0;  // bit 2 sets this long after the start, in the board's time
    // The same for loads through port 3 alone.
    bool isolatedNeverReady = false;
    bool isolatedNeverDone = false;
    // A valid image through port 3 configures the isolated FPGA, but bit 5 never sets.
    bool isolatedDoneWithheld = false;
    // Both FPGAs configured from power-up with these signatures (non-isolated, isolated), IO port
    // 2's link configured and the bus routed to the non-isolated FPGA: the board as the two
    // downloads leave it.
    std::optional<std::array<uint32_t, 2>> configuredAtStart;
};

class FpgaConfigurationPort : public Region {
public:
    static constexpr uint64_t kControl = bar0::kFpgaLoadControl - bar0::kFpgaConfigurationPort;
    static constexpr uint64_t kStatus = bar0::kFpgaLoadStatus - bar0::kFpgaConfigurationPort;
    static constexpr uint64_t kSize = bar0::kFpgaLoadSize - bar0::kFpgaConfigurationPort;
    static constexpr uint64_t kData = bar0::kFpgaLoadData - bar0::kFpgaConfigurationPort;
    static constexpr uint32_t kStart = 1u << 0;
    static constexpr uint32_t kReady = 1u << 2;
    static constexpr uint32_t kDone = 1u << 5;

    enum class Verdict {
        kLoading,     // bytes still expected
        kConfigured,  // the image checked out (or the port accepts anything)
        kRejected,    // the image did not check out
        kStalled,     // all bytes arrived, but the port never completes (the never-done knob)
        kFailed,      // data before the port was ready, or beyond the size
    };

    struct Load {
        unsigned port = 0;
        uint32_t size = 0;  // the size register at the start
        uint64_t stores64 = 0;
        uint64_t byteWrites = 0;
        // The reads of 0x448 since the start, and for the latest kStatusReadsKept of them the
        // number of transfers made when each came.
        uint64_t statusReads = 0;
        std::vector<uint64_t> statusReadsAfter;
        uint64_t received = 0;
        uint32_t crc = 0;  // CRC-32 of the bytes received
        Verdict verdict = Verdict::kLoading;
        FpgaImageFault fault = FpgaImageFault::kNone;  // of a rejected image
        uint64_t transfers() const { return stores64 + byteWrites; }
    };

    struct Fpga {
        bool configured = false;
        uint32_t signature = 0;
    };

    static constexpr size_t kLoadsKept = 16;
    // Far more than a load of the larger image makes (about 28,000).
    static constexpr size_t kStatusReadsKept = size_t{1} << 16;

    FpgaConfigurationPort(Board& board, SwitchedBusInterface& bus, const FpgaPortOptions& options);

    uint64_t read(uint64_t offset, unsigned width) override;
    void write(uint64_t offset, unsigned width, uint64_t value) override;
    bool logged(uint64_t offset, unsigned width, Direction direction) const override { return offset != kData; }

    // Both take the board's lock. kNonIsolatedFpga or kIsolatedFpga.
    Fpga fpga(unsigned index) const;
    // The same for a block that holds the board's lock already (index kNonIsolatedFpga or
    // kIsolatedFpga).
    const Fpga& fpgaHeld(unsigned index) const { return fpgas_[index]; }
    // The latest kLoadsKept loads since power-up, in order.
    std::vector<Load> loads() const;
    // Data transfers that arrived while no load was running.
    uint64_t strayTransfers() const;
    // The isolation link whose state 1 lets port 3 take data; without one port 3 always can.
    void attachIsolatedLink(const IsolatedLink* link) { link_ = link; }

private:
    struct Current {
        Load load;
        BoundedLog<uint64_t> statusReads{kStatusReadsKept};
        std::array<uint8_t, kFpgaImageHeaderSize> header{};
        uint64_t readyAtUs = 0;
        // The board's time never goes back: once the delay has passed, a stream of data does
        // not read the clock again.
        bool delayPassed = false;
    };

    void start();
    bool ready(Current& current);
    void receive(uint64_t value, unsigned width);
    void finish(Current& current);
    Load record(const Current& current) const;
    // The FPGA behind a port, or none.
    static std::optional<unsigned> fpgaOf(unsigned port);

    Board& board_;
    SwitchedBusInterface& bus_;
    FpgaPortOptions options_;
    std::array<Fpga, 2> fpgas_{};
    BoundedLog<Current> loads_{kLoadsKept};
    // The newest load while it still takes data, else null.
    Current* loading_ = nullptr;
    bool done_ = false;
    uint64_t stray_ = 0;
    const IsolatedLink* link_ = nullptr;
};

FpgaConfigurationPort& installFpgaConfigurationPort(Board& board, SwitchedBusInterface& bus,
                                                   const FpgaPortOptions& options = FpgaPortOptions{});

}  // namespace board
