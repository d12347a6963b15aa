// Feeds arbitrary requests to the ioctl path of the product device, brought up on the simulated
// board through every level, only the two FPGA image downloads standing in: any code, any record
// sizes, records whose addresses point into the caller's memory or anywhere else, input and
// output areas inside or outside the caller's memory. A request must never crash or leak.
#include <cstdint>
#include <cstdlib>

#include "fuzzing.h"
#include "kal/sim/faults.h"
#include "kzapalcodegen/ioctlRecords.h"

namespace {

struct Environment {
    fuzzing::ProductBoard product;
    kal::sim::Kernel kernel;
    kal::sim::PciFunction* function = nullptr;
    // The level the bring-up reaches on the intact board: as far as the driver goes.
    int32_t highest = 0;

    Environment() {
        if (kernel.load() < 0) fuzzing::fail("the load fails");
        function = &kernel.plug(product.board);
        if (fuzzing::addAtHighestLevel(kernel, *function) != 0) fuzzing::fail("add device fails");
        highest = device().getSetupTracker().reached;
    }

    kzvorn_driver::TolvaneDevice& device() { return fuzzing::deviceOf(kernel, *function); }

    // Every input starts on a device at the highest level, so that one input's reset neither
    // hides a leak nor changes what the next input reaches. Requests may have written the flash or
    // the bridge's registers so that level 3 no longer comes up: then the board is mended first.
    void restoreHighestLevel() {
        if (resetToHighestLevel()) return;
        product.blocks.flash().load(0, fuzzing::standardImage().bytes());
        board::installBridgeCore(product.board);
        product.board.bar(0).store(board::kWindowBaseRegister, 4, board::kDefaultWindowBase);
        if (!resetToHighestLevel()) fuzzing::fail("the mended board does not come up");
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

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    gEnvironment = new Environment;
    // Every input starts on the objects of a fresh reset to the highest level.
    gEnvironment->restoreHighestLevel();
    // The device goes before the stand-in's records of the DMA memory it holds (made during the
    // bring-up, so destroyed after this runs): the leak check at exit finds nothing of it left.
    std::atexit([] {
        delete gEnvironment;
        gEnvironment = nullptr;
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::Reader in(data, size);
    fuzzing::resetCallerMemory();
    const int64_t before = kal::sim::liveAllocations();
    const uint32_t generation = gEnvironment->device().getResetGeneration();
    {
        const bool cooling = (in.byte() & 1) != 0;
        kal::sim::Session session =
            gEnvironment->kernel.open(cooling ? "nPXICOOLING_17_2_pxiCooling" : "smu_kzvorn");
        if (!session) fuzzing::fail("the open fails");
        for (int request = 0; request < 16 && !in.empty(); ++request) fuzzing::sendRequest(session, in);
    }
    if (gEnvironment->device().getResetGeneration() == generation && kal::sim::liveAllocations() == before) return 0;
    // A reset, or memory the objects now hold (a flash sector the window keeps): a new reset to the
    // highest level frees what the objects held, so anything beyond what the input started with
    // leaked. The fuzzer itself allocates nothing while an input runs.
    gEnvironment->restoreHighestLevel();
    if (kal::sim::liveAllocations() != before)
        fuzzing::fail("requests leaked allocations", kal::sim::liveAllocations() - before);
    return 0;
}
