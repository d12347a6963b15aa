// A stream's transfer lists with user buffers pinned and mapped through the kernel-layer stand-in,
// as the bridge's channel walks them.
#include <algorithm>
#include <iterator>
#include <memory>
#include <thread>

#include "dma/fixture.h"
#include "quolinTools/dma/sglController.h"

namespace dmatest {
namespace {

using quolintools::SGLController;

constexpr int64_t kCountZero = KZ_DEVICE_CODE(SGLController::kCountZero);
constexpr int64_t kDirectionNotAllowed = KZ_DEVICE_CODE(SGLController::kDirectionNotAllowed);

class Controller : public DMAFixture {
protected:
    void SetUp() override {
        DMAFixture::SetUp();
        configure(tDMAConfiguration::kDMAType64);
        pins_ = kal::sim::pinsMade();
        unpins_ = kal::sim::unpinsMade();
    }

    static tUserBuffer buffer(uint64_t address, uint64_t size) {
        tEventDescriptor event{nullptr};
        tStatus status;
        return tUserBuffer(event, address, size, status);
    }

    static uint64_t prepares() {
        uint64_t count = 0;
        for (const auto& sgl : kal::sim::dmaState().sgls) count += sgl.prepares;
        return count;
    }

    uint64_t pins_ = 0;
    uint64_t unpins_ = 0;
};

// One segment per page: a 3-page buffer that starts 100 bytes into a page spans 4 pages.
TEST_F(Controller, BufferAddedThreeTimesIsWalkedThreeTimes) {
    const kal::sim::SGLSplit splits[] = {kal::sim::SGLSplit::Page, kal::sim::SGLSplit::Runs,
                                         kal::sim::SGLSplit::Random};
    UserPages user(4);
    const std::vector<uint8_t> bytes(user.data() + 100, user.data() + 100 + 3 * 4096);
    for (kal::sim::SGLSplit split : splits) {
        SCOPED_TRACE(static_cast<int>(split));
        kal::sim::setSGLSplit(split, 7);
        const int64_t allocations = kal::sim::liveAllocations();
        {
            tStatus status;
            SGLController controller(configuration_, 512, SGLController::kToDevice, status);
            tUserBuffer added = buffer(user.address(100), 3 * 4096);
            controller.addBuffer(SGLController::kFiniteList, added, SGLController::kToDevice, 3, status);
            controller.commit(status);
            ASSERT_TRUE(status.isSuccess());
            EXPECT_EQ(kal::sim::pinsMade() - pins_, 1u);
            EXPECT_EQ(kal::sim::dmaState().pinnedPages, 4u);

            const board::LinkWalk walked = walk(controller.getLists().getFinite());
            EXPECT_EQ(walked.end, board::WalkEnd::LastLink);
            std::vector<uint8_t> expected;
            for (int copy = 0; copy < 3; ++copy) expected.insert(expected.end(), bytes.begin(), bytes.end());
            EXPECT_EQ(gather(walked), expected);
            if (split == kal::sim::SGLSplit::Page) {
                const uint32_t run[] = {4096 - 100, 4096, 4096, 100};
                ASSERT_EQ(walked.entries.size(), 12u);
                for (size_t i = 0; i < 12; ++i) EXPECT_EQ(walked.entries[i].count, run[i % 4]);
            }
            EXPECT_FALSE(controller.isBufferListEmpty());
            controller.releaseBuffers();
            EXPECT_TRUE(controller.isBufferListEmpty());
            EXPECT_EQ(kal::sim::unpinsMade() - unpins_, 1u);
            EXPECT_EQ(kal::sim::dmaState().pinnedPages, 0u);
        }
        EXPECT_EQ(kal::sim::liveAllocations(), allocations);
        pins_ = kal::sim::pinsMade();
        unpins_ = kal::sim::unpinsMade();
    }
}

// Counts and directions first, then sizes and list kinds, all before anything is pinned.
TEST_F(Controller, RequestsRefusedBeforePinning) {
    UserPages user(1);
    uint8_t unregistered[64] = {};
    const uint64_t top = ~uint64_t{0} - 4095;
    const struct {
        const char* why;
        uint32_t allowed;
        uint32_t listKind;
        uint32_t direction;
        uint32_t count;
        uint64_t address;
        uint64_t size;
        int64_t code;
        bool pinned;
        bool recorded;
    } cases[] = {
        {"direction 2 even where allowed", 2, 0, 2, 1, user.address(), 64, kDirectionNotAllowed, false, false},
        {"to the device on a stream from it", 1, 0, 0, 1, user.address(), 64, kDirectionNotAllowed, false, false},
        {"from the device on a stream to it", 0, 0, 1, 1, user.address(), 64, kDirectionNotAllowed, false, false},
        {"no such direction", 2, 0, 3, 1, user.address(), 64, kDirectionNotAllowed, false, false},
        {"count 0", 1, 0, 1, 0, user.address(), 64, kCountZero, false, false},
        {"count 0 before the direction", 1, 0, 0, 0, user.address(), 64, kCountZero, false, false},
        {"no such list", 1, 2, 1, 1, user.address(), 64, nKZAPALS100::kStatusBadParameter, false, false},
        {"size 0", 1, 0, 1, 1, user.address(), 0, nKZAPALS100::kStatusBadParameter, false, false},
        {"page arithmetic wraps", 1, 0, 1, 1, user.address(100), ~uint64_t{0} - 200, nKZAPALS100::kStatusBadParameter,
         false, false},
        {"end beyond the address space", 1, 0, 1, 1, top + 100, 8192, nKZAPALS100::kStatusBadParameter, false, false},
        {"more than 2^32 pages", 1, 0, 1, 1, user.address(), uint64_t{1} << 44, nKZAPALS100::kStatusBadParameter, false,
         false},
        {"not user memory", 1, 0, 1, 1, reinterpret_cast<uint64_t>(unregistered), 64,
         nKZAPALS100::kStatusPageLockFailed, false, true},
        {"either direction allowed", 2, 1, 1, 1, user.address(), 64, 0, true, true},
        {"the stream's direction", 0, 0, 0, 2, user.address(), 64, 0, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        tStatus status;
        SGLController controller(configuration_, 512, c.allowed, status);
        tUserBuffer added = buffer(c.address, c.size);
        controller.addBuffer(c.listKind, added, c.direction, c.count, status);
        EXPECT_EQ(status.getCode(), c.code);
        EXPECT_EQ(kal::sim::pinsMade() - pins_, c.pinned ? 1u : 0u);
        EXPECT_EQ(controller.isBufferListEmpty(), !c.recorded);
        EXPECT_EQ(controller.getLists().getFinite().isEmpty() && controller.getLists().getContinuous().isEmpty(),
                  !c.pinned);
        if (c.pinned) {
            EXPECT_EQ(kal::sim::dmaState().sgls.back().fromDevice, c.direction == 1);
        }
        tStatus fresh;
        controller.reset(fresh);
        EXPECT_TRUE(controller.isBufferListEmpty());
        EXPECT_EQ(kal::sim::dmaState().pinnedPages, 0u);
        pins_ = kal::sim::pinsMade();
    }
}

// A request that would take a list above its descriptor limit appends nothing; its record still
// joins the buffer list, which the next reset releases.
TEST_F(Controller, DescriptorLimitPerList) {
    UserPages user(2);
    const struct {
        uint64_t offset;  // 0: one segment, else two
        uint32_t count;
    } cases[] = {{0, 0xFFFFFFFF}, {0, 1048577}, {100, 524289}};
    for (const auto& c : cases) {
        tStatus status;
        SGLController controller(configuration_, 512, SGLController::kFromDevice, status);
        tUserBuffer added = buffer(user.address(c.offset), 4096);
        controller.addBuffer(SGLController::kContinuousList, added, SGLController::kFromDevice, c.count, status);
        EXPECT_EQ(status.getCode(), nKZAPALS100::kStatusBadParameter) << c.count;
        EXPECT_TRUE(controller.getLists().getContinuous().isEmpty());
        EXPECT_FALSE(controller.isBufferListEmpty());
    }
    EXPECT_EQ(kal::sim::unpinsMade() - unpins_, std::size(cases));
}

// The commit table as the channel sees it.
TEST_F(Controller, CommitClosesTheListsForAStart) {
    UserPages user(2);
    const struct {
        bool finite;
        bool continuous;
    } cases[] = {{true, false}, {false, true}, {true, true}, {false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "finite " << c.finite << ", continuous " << c.continuous);
        tStatus status;
        SGLController controller(configuration_, 512, SGLController::kEitherDirection, status);
        tUserBuffer first = buffer(user.address(), 4096);
        tUserBuffer second = buffer(user.address(4096), 4096);
        if (c.finite) controller.addBuffer(SGLController::kFiniteList, first, SGLController::kToDevice, 1, status);
        if (c.continuous)
            controller.addBuffer(SGLController::kContinuousList, second, SGLController::kToDevice, 1, status);
        const uint64_t before = prepares();
        controller.commit(status);
        ASSERT_TRUE(status.isSuccess());
        auto& finite = controller.getLists().getFinite();
        auto& continuous = controller.getLists().getContinuous();
        if (!c.finite && !c.continuous) {
            EXPECT_EQ(prepares(), before);
            EXPECT_EQ(word32(*finite.getFirstLink(), 4), 0u);
            EXPECT_EQ(word32(*continuous.getFirstLink(), 4), 0u);
        } else if (!c.continuous) {
            const board::LinkWalk walked = walk(finite);
            EXPECT_EQ(walked.end, board::WalkEnd::LastLink);
            EXPECT_EQ(addresses(walked).size(), 1u);
        } else {
            const board::LinkWalk walked = walk(c.finite ? tLinkInformation(finite) : tLinkInformation(continuous), 2);
            EXPECT_EQ(walked.end, board::WalkEnd::Laps);
            const std::vector<uint8_t> bytes = gather(walked);
            const size_t ringStart = c.finite ? 4096 : 0;
            ASSERT_GT(bytes.size(), ringStart + 4096);
            if (c.finite) {
                EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + 4096, user.data()));
            }
            for (size_t at = ringStart; at < bytes.size(); at += 4096)
                EXPECT_TRUE(std::equal(bytes.begin() + at, bytes.begin() + at + 4096, user.data() + 4096));
            // A two-link ring carries the ring-pair flag only when it is the whole transfer.
            const uint32_t ringPair = word32(*continuous.getLastLink(), 4) & 0x40000000u;
            EXPECT_EQ(ringPair != 0, !c.finite);
        }
        controller.reset(status);
        EXPECT_TRUE(finite.isEmpty());
        EXPECT_TRUE(continuous.isEmpty());
        EXPECT_TRUE(controller.isBufferListEmpty());
    }
}

// With 32-bit addressing every bus address the channel meets lies below 4 GiB: links and data.
TEST_F(Controller, AddressingWidthReachesLinksAndData) {
    UserPages user(8);
    for (bool wide : {false, true}) {
        SCOPED_TRACE(wide ? "64-bit" : "32-bit");
        board_.platform().dma64Accepted = wide;
        configure(tDMAConfiguration::kDMAType64);
        EXPECT_EQ(configuration_.type, wide ? 2u : 1u);
        tStatus status;
        SGLController controller(configuration_, 512, SGLController::kEitherDirection, status);
        tUserBuffer first = buffer(user.address(), 4 * 4096);
        tUserBuffer second = buffer(user.address(4 * 4096), 4 * 4096);
        controller.addBuffer(SGLController::kFiniteList, first, SGLController::kToDevice, 20, status);
        controller.addBuffer(SGLController::kContinuousList, second, SGLController::kToDevice, 1, status);
        controller.commit(status);
        ASSERT_TRUE(status.isSuccess());
        const board::LinkWalk walked = walk(controller.getLists().getFinite());
        uint64_t highest = 0;
        for (const board::LinkHeader& link : walked.links) highest = std::max(highest, link.address + link.usedLength);
        for (const board::LinkEntry& entry : walked.entries) highest = std::max(highest, entry.address + entry.count);
        EXPECT_EQ(highest <= k4GiB, !wide);
        EXPECT_GT(walked.links.size(), 2u);
    }
}

// Two requests on one stream: one adds buffers, one resets and commits.
TEST_F(Controller, AddAndResetFromTwoThreads) {
    UserPages user(3);
    tStatus status;
    SGLController controller(configuration_, 512, SGLController::kEitherDirection, status);
    ASSERT_TRUE(status.isSuccess());
    std::thread adder([&] {
        for (uint32_t i = 0; i < 200; ++i) {
            tStatus s;
            tUserBuffer added = buffer(user.address(i % 2000), 2 * 4096);
            controller.addBuffer(i % 2, added, i % 2, 1 + i % 3, s);
            EXPECT_TRUE(s.isSuccess());
        }
    });
    for (uint32_t i = 0; i < 200; ++i) {
        tStatus s;
        if (i % 2 == 0) controller.reset(s);
        else controller.commit(s);
        EXPECT_TRUE(s.isSuccess());
    }
    adder.join();
    controller.reset(status);
    EXPECT_TRUE(status.isSuccess());
    EXPECT_TRUE(controller.isBufferListEmpty());
    EXPECT_EQ(kal::sim::dmaState().pinnedPages, 0u);
}

// One failure at a time over construction, adding and committing: a clear code, nothing leaked,
// and the controller takes buffers again after a reset.
class ControllerFailures : public Controller {
protected:
    // Runs construction, two additions and a commit with `arm` in force over exactly those calls;
    // the first error, and whether anything failed.
    template <class tArm>
    bool run(tArm arm, int64_t& code) {
        UserPages user(4);
        const int64_t allocations = kal::sim::liveAllocations();
        bool failed = false;
        {
            tStatus status;
            tUserBuffer first = buffer(user.address(100), 2 * 4096);
            tUserBuffer second = buffer(user.address(3 * 4096), 4096);
            auto armed = arm();
            SGLController controller(configuration_, 512, SGLController::kToDevice, status);
            controller.addBuffer(SGLController::kFiniteList, first, SGLController::kToDevice, 40, status);
            controller.addBuffer(SGLController::kContinuousList, second, SGLController::kToDevice, 1, status);
            controller.commit(status);
            failed = armed->triggered();
            armed.reset();
            code = status.getCode();
            EXPECT_EQ(failed, status.isFatal());
            tStatus fresh;
            controller.reset(fresh);
            if (fresh.getCode() == nKZAPALS100::kStatusNoKernelMapping) return failed;  // no mutex: unusable
            EXPECT_TRUE(fresh.isSuccess());
            EXPECT_TRUE(controller.isBufferListEmpty());
            controller.addBuffer(SGLController::kFiniteList, first, SGLController::kToDevice, 1, fresh);
            controller.commit(fresh);
            EXPECT_TRUE(fresh.isSuccess());
            EXPECT_EQ(walk(controller.getLists().getFinite()).entries.size(), 3u);
        }
        EXPECT_EQ(kal::sim::liveAllocations(), allocations);
        const kal::sim::DMAState state = kal::sim::dmaState();
        EXPECT_TRUE(state.pageLists.empty() && state.sgls.empty());
        return failed;
    }
};

TEST_F(ControllerFailures, EveryAllocation) {
    struct Armed {
        explicit Armed(uint64_t nth) : failure(nth) {}
        bool triggered() const { return failure.triggered(); }
        kal::sim::FailAllocations failure;
    };
    uint64_t nth = 1;
    for (int64_t code = 0; run([&] { return std::make_unique<Armed>(nth); }, code); ++nth)
        EXPECT_EQ(code, nKZAPALS100::kStatusMemoryFull) << "allocation " << nth;
    EXPECT_GT(nth, 10u);
}

TEST_F(ControllerFailures, EveryKernelCall) {
    struct Armed {
        Armed(const char* name, uint64_t nth) : failure(name, nth) {}
        bool triggered() const { return failure.failures() != 0; }
        kal::sim::FailKernelCall failure;
    };
    const struct {
        const char* name;
        int64_t code;
    } calls[] = {
        {"createMutex", nKZAPALS100::kStatusMemoryFull},
        {"tPageList_createFromAllocation", nKZAPALS100::kStatusMemoryFull},
        {"tPageList_mapToKernel", nKZAPALS100::kStatusMemoryFull},
        {"tPageList_createFromUser", nKZAPALS100::kStatusPageLockFailed},
        {"tSGL_createForPCI", nKZAPALS100::kStatusMemoryFull},
        {"tSGL_map", nKZAPALS100::kStatusMemoryFull},
    };
    for (const auto& call : calls) {
        uint64_t nth = 1;
        for (int64_t code = 0; run([&] { return std::make_unique<Armed>(call.name, nth); }, code); ++nth)
            EXPECT_EQ(code, call.code) << call.name << " call " << nth;
        EXPECT_GT(nth, 1u) << call.name;
    }
}

}  // namespace
}  // namespace dmatest
