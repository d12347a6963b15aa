// What the fuzz targets share: the input as a stream of bytes, the product board they drive, the
// caller's memory that records may point into, and one request built from the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "board/product.h"
#include "device/bringUpPlan.h"
#include "device/tolvaneDevice.h"
#include "kal/sim/harness.h"

namespace fuzzing {

// The input, read front to back; past its end every byte reads 0.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool empty() const { return size_ == 0; }
    uint8_t byte() {
        if (size_ == 0) return 0;
        --size_;
        return *data_++;
    }
    uint32_t word() {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(byte()) << (8 * i);
        return value;
    }

private:
    const uint8_t* data_;
    size_t size_;
};

const board::FlashImage& standardImage();

// The product board with the standard flash, keeping no record of the accesses (there are
// millions).
struct ProductBoard {
    ProductBoard();
    board::Board board;
    board::ProductBlocks blocks;
};

// Add device on a board whose FPGAs start configured, with the two FPGA image downloads faked, so
// that every level built so far runs for real and the device reaches the highest of them; every
// later reset of the device reaches it too.
int32_t addAtHighestLevel(kal::sim::Kernel& kernel, kal::sim::PciFunction& function);
kzvorn_driver::TolvaneDevice& deviceOf(kal::sim::Kernel& kernel, kal::sim::PciFunction& function);

// The caller's memory that addresses inside records may point into: zeroed, with the registered
// names (the version where the registry has one) in its first 32-byte slots, so that named
// requests can reach the real objects.
void resetCallerMemory();

// One request of any code, with record sizes, record bytes and the addresses inside the records
// taken from the input; the reply must never claim more bytes than the output area holds.
// Returns the transport's result.
int32_t sendRequest(kal::sim::Session& session, Reader& in);

// The input bytes from which sendRequest sends the named request ("family_operation") as user mode
// would: its exact record sizes and the record's bytes, with the 8-byte record slots of
// `scratchSlots` (bit n: slot n) made addresses of the caller's scratch memory at `scratchOffset`
// (a multiple of 32 below 4096). Empty for a name the table does not know.
std::vector<uint8_t> encodeRequest(const char* name, const void* record, size_t size, uint8_t scratchSlots = 0,
                                   uint32_t scratchOffset = 0);

// Prints the message and aborts: the fuzzer keeps the input as a finding.
[[noreturn]] void fail(const char* message, long long value = 0);

}  // namespace fuzzing
