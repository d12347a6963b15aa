// Feeds arbitrary requests to the ioctl path of the product device, started on the simulated
// board with every level the driver builds real but the FPGA image downloads, which the board's
// FPGAs, configured from the start, do not need: any code, any record sizes, records whose
// addresses point
// into the caller's memory or anywhere else, input and output areas inside or outside the
// caller's memory. A request must never crash or leak.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "board/product.h"
#include "device/tolvaneDevice.h"
#include "kal/sim/harness.h"
#include "kal/sim/faults.h"
#include "kal/sim/user.h"
#include "kzapal/protons/callbacks.h"
#include "kzapalcodegen/ioctlTable.h"
#include "tools/stowly/stowlyData.h"

namespace {

using kzvorn_driver::kKzvornIOControlCount;
using kzvorn_driver::kKzvornIOControls;

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

board::ProductOptions configuredFpgas() {
    board::ProductOptions options;
    options.fpga.configuredAtStart = stowly::builtInFpgaSignatures();
    return options;
}

struct Environment {
    board::Board board{board::productIdentity()};
    board::ProductBlocks blocks{board::installProduct(board, configuredFpgas())};
    const board::FlashImage image = board::FlashImage::standard();
    kal::sim::Kernel kernel;
    kal::sim::PciFunction* function = nullptr;
    kzvorn_driver::BringUpPlan plan;
    // The level the bring-up reaches on the intact board: as far as the driver goes.
    int32_t highest = 0;

    Environment() {
        // Millions of requests: the board keeps no record of them.
        board.log().setEnabled(false);
        blocks.flash().setLogging(false);
        if (kernel.load() < 0) std::abort();
        function = &kernel.plug(board);
        plan.fakeDownloads();
        kzvorn_driver::TolvaneDevice::setBringUpPlan(&plan);
        if (kernel.addDevice(*function) != 0) std::abort();
        kzvorn_driver::TolvaneDevice::setBringUpPlan(nullptr);
        highest = device().getSetupTracker().reached;
    }

    kzvorn_driver::TolvaneDevice& device() {
        return *static_cast<kzvorn_driver::TolvaneDevice*>(
            static_cast<kzvorn_driver::nKZAPAL000::tDevice*>(kernel.device(*function)));
    }

    // Every input starts on a device at the highest level it reaches, so that one input's reset
    // neither hides a leak nor changes what the next input reaches. Requests may have written the
    // flash or the bridge's registers so that level 3 no longer comes up: then the board is mended
    // first.
    void restoreHighestLevel() {
        if (resetToHighestLevel()) return;
        blocks.flash().load(0, image.bytes());
        board::installBridgeCore(board);
        board.bar(0).store(board::kWindowBaseRegister, 4, board::kDefaultWindowBase);
        if (!resetToHighestLevel()) std::abort();
    }

    bool resetToHighestLevel() {
        kzvorn_driver::tResetRecord input{};
        input.targetLevel = kzvorn_shared::SetupLevel::kHighest;
        kzvorn_driver::tStatusRecord output{};
        kal::sim::Session session = kernel.open("smu_kzvorn");
        const auto reply = session.ioctl(0x00208600, &input, sizeof input, &output, sizeof output);
        return reply.result == 0 && device().getSetupTracker().reached == highest;
    }
};
Environment* gEnvironment = nullptr;

constexpr size_t kAreaSize = 256;
// Caller memory that addresses inside records may point into, and memory that is never the
// caller's.
alignas(8) uint8_t gScratch[4096];
alignas(8) uint8_t gForeign[4096];

// Registered names (the version where the registry has one) in the first 32-byte slots of the
// scratch memory, so that named requests can reach the real objects.
constexpr const char* kNames[] = {"flashWindow",          "Quolin_Ver23.3.0f121",     "Triggers_Ver200a13081315",
                                  "Posc_Ver1.0.0d0",      "Header_Ver1.0.0d0",        "Manufacturing_Ver1.0.0d1",
                                  "IOPort2RegMap_Ver23.3.0f121", "QuolinDMAChannel3_Ver23.3.0f121"};

void resetScratch() {
    std::memset(gScratch, 0, sizeof gScratch);
    for (size_t i = 0; i < sizeof kNames / sizeof kNames[0]; ++i)
        std::memcpy(gScratch + 32 * i, kNames[i], std::strlen(kNames[i]));
}

uint32_t sizeFrom(Reader& in, uint8_t how, uint32_t exact) {
    switch (how & 3) {
        case 0:
        case 1: return exact;
        case 2: return in.byte();
        default: return in.word();
    }
}

void sendOne(kal::sim::Session& session, Reader& in) {
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
    if (result == 0 && envelope.bytesReturned > outputSize) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    gEnvironment = new Environment;
    // Every input starts on the objects of a fresh reset to the highest level.
    gEnvironment->restoreHighestLevel();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in(data, size);
    resetScratch();
    const int64_t before = kal::sim::liveAllocations();
    const uint32_t generation = gEnvironment->device().getResetGeneration();
    {
        const bool cooling = (in.byte() & 1) != 0;
        kal::sim::Session session =
            gEnvironment->kernel.open(cooling ? "nPXICOOLING_17_2_pxiCooling" : "smu_kzvorn");
        if (!session) std::abort();
        for (int request = 0; request < 16 && !in.empty(); ++request) sendOne(session, in);
    }
    if (gEnvironment->device().getResetGeneration() == generation && kal::sim::liveAllocations() == before) return 0;
    // A reset, or memory the objects now hold (a flash sector the window keeps): a new reset to the
    // highest level frees what the objects held, so anything beyond what the input started with
    // leaked. The fuzzer itself allocates nothing while an input runs.
    gEnvironment->restoreHighestLevel();
    if (kal::sim::liveAllocations() != before) {
        std::fprintf(stderr, "requests leaked %lld allocations\n",
                     static_cast<long long>(kal::sim::liveAllocations() - before));
        std::abort();
    }
    return 0;
}
