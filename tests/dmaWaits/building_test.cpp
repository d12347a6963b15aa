// Building the interrupt controller, the waiter table and a stream controller, then one wait,
// with one kernel call failing at a time.
#include "dmaWaits/fixture.h"

namespace dmawaits {
namespace {

using Building = Interrupts;
using quolintools::QuolinDMAStreamController;

TEST_P(Building, EachFailureAloneIsReportedAndLeavesNothingBehind) {
    table.reset();
    controller.reset();
    arm::MemorySpaceAccess::Accessor block{base + bar0::kDmaChannels, uint64_t{1} << bar0::kDmaChannelStrideLog2};
    QuolinDMAStreamController::tChannelMap map(&block);
    struct Kind {
        const char* call;
        int64_t code;  // 0: a platform code of the kernel layer's failure
    };
    const Kind kinds[] = {
        {"malloc", nKZAPALS100::kStatusMemoryFull},        {"createMutex", nKZAPALS100::kStatusMemoryFull},
        {"createSpinLock", nKZAPALS100::kStatusMemoryFull}, {"createDPC", nKZAPALS100::kStatusSoftwareFault},
        {"createNamedThread", nKZAPALS100::kStatusSoftwareFault}, {"reserveInterrupt", 0},
    };
    for (const Kind& kind : kinds) {
        uint64_t nth = 1;
        for (;; ++nth) {
            SCOPED_TRACE(std::string(kind.call) + " #" + std::to_string(nth));
            const kal::sim::LiveObjects before = kal::sim::liveObjects();
            // Nothing here may allocate while the kernel's allocations fail: results are checked
            // once the failure is gone.
            uint64_t failures;
            int64_t built, code;
            bool enabled, timedOut = false;
            uint32_t listed = 0;
            {
                kal::sim::FailKernelCall fail(kind.call, nth);
                tStatus status;
                controller.emplace(*device, base, status);
                built = status.code;
                enabled = engine->interruptEnabled();
                table.emplace(&*controller, status);
                QuolinDMAStreamController stream(base, &map, nullptr, 0, status);
                // A position never reached: the board queues no entry to outlive the controller.
                table->waitUntilBytesTransferred(stream, 0, 0, 1, 0, timedOut, status);
                code = status.code;
                if (built == 0) listed = controller->listedNotifiers();
                failures = fail.failures();
                table.reset();
                controller.reset();
            }
            EXPECT_EQ(enabled, built == 0) << "enabled only when built";
            if (failures == 0) {
                EXPECT_EQ(code, 0);
                EXPECT_TRUE(timedOut);
            } else if (kind.code != 0) {
                EXPECT_EQ(code, kind.code);
            } else {
                EXPECT_LT(code, 0);
            }
            EXPECT_EQ(listed, 0u);
            EXPECT_FALSE(engine->interruptEnabled());
            EXPECT_EQ(kal::sim::liveObjects(), before) << kal::sim::describe(kal::sim::liveObjects());
            if (failures == 0 || nth == 40) break;
        }
        EXPECT_GT(nth, 1u) << kind.call << " never failed";
    }
    tStatus status;
    build(status);
    EXPECT_EQ(status.code, 0);
}

INSTANTIATE_TEST_SUITE_P(LegacyAndMSI, Building, queueModes(), modeName);

}  // namespace
}  // namespace dmawaits
