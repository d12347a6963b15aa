// Where the blocks of the bridge's register BAR (BAR0) lie on the simulated board.
#pragma once

#include <cstdint>

namespace board::bar0 {

constexpr uint64_t kSize = 0x40000;

// Bridge core: signature, capabilities, DMA block placement, interrupts, FPGA configuration port.
constexpr uint64_t kBridgeCore = 0x0000;
constexpr uint64_t kBridgeCoreSize = 0x518;
constexpr uint64_t kSignature = 0x000;
constexpr uint64_t kCapability = 0x00C;
constexpr uint64_t kDmaChannelOffset = 0x01C;
constexpr uint32_t kBridgeSignature = 0xC0107AD0;
// FPGA configuration port: control, status, size and data port, and the port select beside them.
constexpr uint64_t kFpgaConfigurationPort = 0x440;
constexpr uint64_t kFpgaConfigurationPortSize = 0x28;
constexpr uint64_t kFpgaLoadControl = 0x440;
constexpr uint64_t kFpgaLoadStatus = 0x448;
constexpr uint64_t kFpgaLoadSize = 0x458;
constexpr uint64_t kFpgaLoadData = 0x460;
constexpr uint64_t kFpgaPortSelect = 0x510;

// Configuration port: the SPI master and the switched bus interface (indirect port handshake).
constexpr uint64_t kSpiPort = 0x0580;
constexpr uint64_t kSpiPortSize = 0x10;
constexpr uint64_t kSwitchedBusInterface = 0x0600;
constexpr uint64_t kSwitchedBusInterfaceSize = 0x104;
// Where the switched bus interface routes the bus: bits 8-10 and 20-23.
constexpr uint64_t kBusRouting = 0x680;

// DMA channel blocks: channel i at kDmaChannels + (i << kDmaChannelStrideLog2).
constexpr uint64_t kDmaChannels = 0x2000;
constexpr unsigned kDmaChannelStrideLog2 = 9;
constexpr unsigned kDmaChannelCount = 8;
constexpr uint64_t kDmaChannelSize = 0xA8;

// Configuration data window (register 0xC0 = 0x0000400C: at 0x4000, 4 KiB).
constexpr uint64_t kConfigWindow = 0x4000;

// Timing block: digital output, output timer, trigger lines.
constexpr uint64_t kTimingBlock = 0x10000;
constexpr uint64_t kTimingBlockSize = 0x107;
constexpr uint64_t kDigitalOutput = kTimingBlock + 0x00;
constexpr uint64_t kOutputTimer = kTimingBlock + 0x34;
constexpr uint64_t kTriggers = kTimingBlock + 0x88;

// Non-isolated FPGA.
constexpr uint64_t kNonIsolatedFpga = 0x20000;
constexpr uint64_t kNonIsolatedFpgaSize = 0x83C;

// Stream circuits: circuit i's page at kStreamCircuits + i * kStreamCircuitStride, its registers
// from page offset 0x800.
constexpr uint64_t kStreamCircuits = 0x24000;
constexpr uint64_t kStreamCircuitStride = 0x2000;
constexpr unsigned kStreamCircuitCount = 8;
constexpr uint64_t kStreamCircuitRegisters = 0x800;
constexpr uint64_t kStreamCircuitSize = 0x938;

}  // namespace board::bar0
