#include "fuzzing.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "kal/sim/user.h"
#include "kzapal/protons/callbacks.h"
#include "kzapalcodegen/ioctlTable.h"
#include "tools/stowly/stowlyData.h"

namespace fuzzing {

namespace {

using kzvorn_driver::kKzvornIOControlCount;
using kzvorn_driver::kKzvornIOControls;

constexpr size_t kAreaSize = 256;
// Caller memory that addresses inside records may point into, and memory that is never the
// caller's.
alignas(8) uint8_t gScratch[4096];
alignas(8) uint8_t gForeign[4096];

constexpr const char* kNames[] = {"flashWindow",          "Quolin_Ver23.3.0f121",     "Triggers_Ver200a13081315",
                                  "Posc_Ver1.0.0d0",      "Header_Ver1.0.0d0",        "Manufacturing_Ver1.0.0d1",
                                  "IOPort2RegMap_Ver23.3.0f121", "QuolinDMAChannel3_Ver23.3.0f121",
                                  "NisoFpgaWindow",
                                  // Longer than a slot: last, so that nothing overwrites its end.
                                  "Ina231RegMapSinkingBoard_Ver1.5.0f22090707"};

uint32_t sizeFrom(Reader& in, uint8_t how, uint32_t exact) {
    switch (how & 3) {
        case 0:
        case 1: return exact;
        case 2: return in.byte();
        default: return in.word();
    }
}

// Made once: some targets build a board for every input.
const board::ProductOptions& standardOptions() {
    static const board::ProductOptions options = [] {
        board::ProductOptions standard;
        standard.flash = board::FlashImage::standard();
        standard.fpga.configuredAtStart = stowly::builtInFpgaSignatures();
        return standard;
    }();
    return options;
}

}  // namespace

const board::FlashImage& standardImage() { return *standardOptions().flash; }

ProductBoard::ProductBoard() : board(board::productIdentity()), blocks(board::installProduct(board, standardOptions())) {
    board.log().setEnabled(false);
    blocks.flash().setLogging(false);
    blocks.nonIsolatedFpga.isolatedLink().setLogging(false);
}

int32_t addAtHighestLevel(kal::sim::Kernel& kernel, kal::sim::PciFunction& function) {
    // The device keeps the plan for its resets: one for the process.
    static kzvorn_driver::BringUpPlan* const plan = [] {
        auto* p = new kzvorn_driver::BringUpPlan;
        p->fakeDownloads();
        return p;
    }();
    kzvorn_driver::TolvaneDevice::setBringUpPlan(plan);
    const int32_t result = kernel.addDevice(function);
    kzvorn_driver::TolvaneDevice::setBringUpPlan(nullptr);
    return result;
}

kzvorn_driver::TolvaneDevice& deviceOf(kal::sim::Kernel& kernel, kal::sim::PciFunction& function) {
    return *static_cast<kzvorn_driver::TolvaneDevice*>(
        static_cast<kzvorn_driver::nKZAPAL000::tDevice*>(kernel.device(function)));
}

void resetCallerMemory() {
    std::memset(gScratch, 0, sizeof gScratch);
    for (size_t i = 0; i < sizeof kNames / sizeof kNames[0]; ++i)
        std::memcpy(gScratch + 32 * i, kNames[i], std::strlen(kNames[i]));
}

int32_t sendRequest(kal::sim::Session& session, Reader& in) {
    const uint8_t how = in.byte();
    const kzvorn_driver::tIOControlEntry& entry = kKzvornIOControls[in.byte() % kKzvornIOControlCount];
    uint32_t code = entry.code;
    if ((how & 3) == 2) code ^= 1u << (in.byte() & 31);
    if ((how & 3) == 3) code = in.word();
    const uint32_t inputSize = sizeFrom(in, how >> 2, entry.inputSize);
    const uint32_t outputSize = sizeFrom(in, how >> 4, entry.outputSize);

    std::vector<uint8_t> input(kAreaSize), output(kAreaSize, 0xAA);
    for (uint8_t& b : input) b = in.byte();
    // Slots of the record that become addresses: into the caller's scratch memory or elsewhere.
    const uint8_t addressSlots = in.byte();
    for (size_t slot = 0; slot < 8; ++slot) {
        if ((addressSlots & (1u << slot)) == 0) continue;
        const uint8_t target = in.byte();
        uint8_t* base = (target & 0x80) != 0 ? gForeign : gScratch;
        const uint64_t address = reinterpret_cast<uint64_t>(base + (target & 0x7F) * 32);
        std::memcpy(input.data() + slot * 8, &address, 8);
    }

    // Where the two areas lie: in the caller's memory (as far as the area goes), or not.
    const uint8_t placement = how >> 6;
    kzvorn_driver::nKZAPAL000::tIOControlEnvelope envelope{
        placement == 1 ? reinterpret_cast<uint64_t>(gForeign) : reinterpret_cast<uint64_t>(input.data()),
        placement == 2 ? reinterpret_cast<uint64_t>(gForeign) : reinterpret_cast<uint64_t>(output.data()),
        inputSize, outputSize, 0, 0};
    if (placement == 3) envelope.inputAddress = in.word();
    kal::sim::UserMemory userEnvelope(&envelope, sizeof(envelope));
    kal::sim::UserMemory userInput(input.data(), inputSize < kAreaSize ? inputSize : kAreaSize);
    kal::sim::UserMemory userOutput(output.data(), outputSize < kAreaSize ? outputSize : kAreaSize);
    kal::sim::UserMemory userScratch(gScratch, sizeof(gScratch));
    const int32_t result = session.ioctlRaw(code, reinterpret_cast<uint64_t>(&envelope));
    if (result == 0 && envelope.bytesReturned > outputSize) fail("the reply claims more than the output area", code);
    return result;
}

std::vector<uint8_t> encodeRequest(const char* name, const void* record, size_t size, uint8_t scratchSlots,
                                   uint32_t scratchOffset) {
    size_t index = 0;
    while (index < kKzvornIOControlCount && std::strcmp(kKzvornIOControls[index].name, name) != 0) ++index;
    if (index == kKzvornIOControlCount || size > kAreaSize || scratchOffset / 32 > 0x7F) return {};
    // The table's code and exact sizes, both areas in the caller's memory.
    std::vector<uint8_t> bytes = {0, static_cast<uint8_t>(index)};
    std::vector<uint8_t> area(kAreaSize, 0);
    std::memcpy(area.data(), record, size);
    bytes.insert(bytes.end(), area.begin(), area.end());
    bytes.push_back(scratchSlots);
    for (size_t slot = 0; slot < 8; ++slot)
        if ((scratchSlots & (1u << slot)) != 0) bytes.push_back(static_cast<uint8_t>(scratchOffset / 32));
    return bytes;
}

void fail(const char* message, long long value) {
    std::fprintf(stderr, "%s (%lld)\n", message, value);
    std::abort();
}

}  // namespace fuzzing
