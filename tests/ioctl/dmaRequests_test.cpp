// The DMA stream requests through the envelope: on a device whose levels from 5 on are stand-ins,
// without DMA objects, they pass their gates and answer -52002 after the waits' own checks; on a
// device that built level 14 they reach the streams.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "board/dmaEngine.h"
#include "dma/fixture.h"
#include "kal/sim/dma.h"
#include "kzapalcodegen/ioctlRecords.h"
#include "script.h"
#include "tolvane/fixture.h"
#include "tolvane/scriptRun.h"

namespace ioctltest {
namespace {

using namespace kzvorn_driver;

constexpr int32_t kInvalidChannel = static_cast<int32_t>(0xBFFA4303);
constexpr int32_t kNotReserved = static_cast<int32_t>(0xBFFA431A);
constexpr int32_t kNotSupported = -52002;

enum Code : uint32_t {
    kStart = 0x00208200,
    kStop,
    kAddTo,
    kAddFrom,
    kCredits,
    kCount,
    kClear,
    kClearFifo,
    kWait,
    kCancel,
    kReserve = 0x00208604,
    kReset = 0x00208600,
};

// The levels from `firstFaked` on are stand-ins.
class DmaRequests : public tolvanetest::Tolvane {
protected:
    void SetUp() override {
        Tolvane::SetUp();
        plan_.fakeLevels(firstFaked(), kzvorn_shared::SetupLevel::kHighest, BringUpPlan::kSucceed);
        ASSERT_EQ(add(), 0);
        session_ = kernel_.open("smu_kzvorn");
    }
    virtual int32_t firstFaked() const { return 5; }

    template <class tOutput, class tInput>
    tOutput request(uint32_t code, const tInput& input) {
        tOutput output{};
        EXPECT_EQ(session_.ioctl(code, &input, sizeof input, &output, sizeof output).result, 0);
        return output;
    }
    template <class tInput>
    int32_t status(uint32_t code, const tInput& input) {
        return request<tStatusRecord>(code, input).status;
    }
    // For 4096 bytes, without waiting.
    tValue8Record wait(uint32_t stream, uint8_t flag = 0) {
        tWaitRecord input{};
        input.stream = stream;
        input.byteCount = 4096;
        input.timeout = 0;
        input.timedOut = flag;
        return request<tValue8Record>(kWait, input);
    }
    int32_t cancel(uint32_t stream) { return request<tStatusRecord>(kCancel, tStreamRecord{stream, 0}).status; }

    kal::sim::Session session_;
};

TEST_F(DmaRequests, WithoutDMAObjectsEveryStreamRequestAnswersNotSupported) {
    EXPECT_EQ(request<tStatusRecord>(kStart, tStartDMARecord{0, 1, {}, 0}).status, kNotSupported);
    EXPECT_EQ(request<tStatusRecord>(kStop, tStreamRecord{0, 0}).status, kNotSupported);
    EXPECT_EQ(request<tStatusRecord>(kAddTo, tTransferToDeviceRecord{1, 0, 0x1000, 4096, 1, 0}).status, kNotSupported);
    EXPECT_EQ(request<tStatusRecord>(kAddFrom, tTransferFromDeviceRecord{0, 0, 0x1000, 4096, 0, 0}).status,
              kNotSupported);
    EXPECT_EQ(request<tStatusRecord>(kCredits, tStreamCountRecord{0, 1, 0}).status, kNotSupported);
    const tValue64Record count = request<tValue64Record>(kCount, tStreamRecord{0, 0});
    EXPECT_EQ(count.status, kNotSupported);
    EXPECT_EQ(count.value, 0u);
    EXPECT_EQ(request<tStatusRecord>(kClear, tStreamRecord{0, 0}).status, kNotSupported);
    EXPECT_EQ(request<tStatusRecord>(kClearFifo, tStreamRecord{0, 0}).status, kNotSupported);
}

// A wait's stream is refused before its channel is looked at; then the session must hold the
// channel. The flag keeps the caller's value when the wait does not run.
TEST_F(DmaRequests, WaitsCheckTheStreamThenTheReservation) {
    for (uint32_t stream : {8u, 128u, 0x100u, 0xFFFFFFFFu}) {
        const tValue8Record result = wait(stream, 3);
        EXPECT_EQ(result.status, kInvalidChannel) << stream;
        EXPECT_EQ(result.value, 3) << stream;
        EXPECT_EQ(cancel(stream), kInvalidChannel) << stream;
    }
    EXPECT_EQ(wait(2, 0).status, kNotReserved);
    EXPECT_EQ(cancel(3), kNotReserved);
    EXPECT_EQ(request<tStatusRecord>(kReserve, tMaskRecord{0x2, 0, 0}).status, 0);
    const tValue8Record result = wait(3, 5);
    EXPECT_EQ(result.status, kNotSupported);
    EXPECT_EQ(result.value, 5);
    EXPECT_EQ(cancel(2), 0) << "no waiter, nothing to do";
    EXPECT_EQ(wait(0, 0).status, kNotReserved);
}

TEST_F(DmaRequests, RefusedByTheGateTheWaitKeepsItsFlagAndTheCountIsZero) {
    tResetRecord reset{};
    reset.targetLevel = 13;
    EXPECT_EQ(request<tStatusRecord>(kReset, reset).status, nKZAPALS100::kStatusSetupStoppedAtLevel);
    session_ = kernel_.open("smu_kzvorn");
    const tValue8Record result = wait(0, 7);
    EXPECT_EQ(result.status, nKZAPALS100::kStatusSetupStoppedAtLevel);
    EXPECT_EQ(result.value, 7);
    const tValue64Record count = request<tValue64Record>(kCount, tStreamRecord{0, 0});
    EXPECT_EQ(count.status, nKZAPALS100::kStatusSetupStoppedAtLevel);
    EXPECT_EQ(count.value, 0u);
}

// kzvorn-sim's stream requests: one request a line, buffers numbered from 1 in user memory.
TEST_F(DmaRequests, SimScriptRequests) {
    const std::string script =
        "dma.addfrom 0 0 8192\n"
        "dma.addto 1 1 16 3\n"
        "dma.start 0 1\n"
        "dma.credits 0 8192\n"
        "dma.count 0\n"
        "dma.wait 8 0 8192 0\n"
        "dma.stop 0\n"
        "dma.dump 2 14 2\n"
        "dma.dump 3 0 1\n";
    const std::string printed = tolvanetest::printedBy(kernel_, blocks_, script);
    EXPECT_EQ(printed,
              "dma.addfrom 0 0 8192: buffer 1, status: -52002\n"
              "dma.addto 1 1 16 3: buffer 2, status: -52002\n"
              "dma.start 0 1: status: -52002\n"
              "dma.credits 0 8192: status: -52002\n"
              "dma.count 0: count: 0, status: -52002\n"
              "dma.wait 8 0 8192 0: timed out: 0, status: 0xBFFA4303\n"
              "dma.stop 0: status: -52002\n"
              "dma.dump 2 14 2: 0E0F\n"
              "error: no such buffer: dma.dump 3 0 1\n");
}

// Level 14 built in the bring-up, the levels after it as stand-ins: the reservation that a wait
// needs is gated at the highest level.
class LiveStreams : public DmaRequests {
protected:
    void SetUp() override {
        DmaRequests::SetUp();
        ASSERT_NE(device()->getHelper()->getDMADispatcher(), nullptr);
    }
    int32_t firstFaked() const override { return 15; }
};

// The request checks with every stream live, one row per refusal.
TEST_F(LiveStreams, ErrorCodes) {
    constexpr int32_t kDirection = static_cast<int32_t>(0xBFFA806F);
    constexpr int32_t kCountZero = static_cast<int32_t>(0xBFFA806C);
    constexpr int32_t kBadParameter = -52005;
    constexpr int32_t kSizeZero = -52019;
    dmatest::UserPages user(1);
    const uint64_t at = user.address();
    for (uint32_t stream : {8u, 128u, 0xFFFFFFFFu}) {
        EXPECT_EQ(status(kStart, tStartDMARecord{stream, 1, {}, 0}), kBadParameter) << stream;
        EXPECT_EQ(status(kStop, tStreamRecord{stream, 0}), kBadParameter) << stream;
        EXPECT_EQ(status(kAddTo, tTransferToDeviceRecord{stream, 0, at, 4096, 1, 0}), kBadParameter) << stream;
        EXPECT_EQ(status(kAddFrom, tTransferFromDeviceRecord{stream, 0, at, 4096, 0, 0}), kBadParameter) << stream;
        EXPECT_EQ(status(kCredits, tStreamCountRecord{stream, 1, 0}), kBadParameter) << stream;
        EXPECT_EQ(status(kClear, tStreamRecord{stream, 0}), kBadParameter) << stream;
        EXPECT_EQ(status(kClearFifo, tStreamRecord{stream, 0}), kBadParameter) << stream;
        tValue64Record count{};
        const tStreamRecord input{stream, 0};
        session_.ioctl(kCount, &input, sizeof input, &count, sizeof count);
        EXPECT_EQ(count.status, kBadParameter) << stream;
        EXPECT_EQ(wait(stream).status, kInvalidChannel) << stream;
        EXPECT_EQ(status(kCancel, tStreamRecord{stream, 0}), kInvalidChannel) << stream;
    }
    struct Add {
        uint32_t code, stream, list;
        uint64_t size;
        uint32_t count;
        int32_t status;
    } adds[] = {
        {kAddFrom, 1, 0, 4096, 1, kDirection}, {kAddTo, 0, 0, 4096, 1, kDirection},
        {kAddTo, 1, 0, 4096, 0, kCountZero},   {kAddFrom, 0, 0, 0, 1, kSizeZero},
        {kAddTo, 1, 2, 0, 1, kSizeZero},       {kAddFrom, 2, 2, 4096, 1, kBadParameter},
    };
    for (const Add& a : adds) {
        const int32_t result = a.code == kAddTo
                                   ? status(kAddTo, tTransferToDeviceRecord{a.stream, a.list, at, a.size, a.count, 0})
                                   : status(kAddFrom, tTransferFromDeviceRecord{a.stream, a.list, at, a.size, 0, 0});
        EXPECT_EQ(result, a.status) << a.stream << " " << a.list << " " << a.size << " " << a.count;
    }
    EXPECT_EQ(kal::sim::dmaState().pinnedPages, 0u);
    EXPECT_EQ(wait(0).status, kNotReserved);
    EXPECT_EQ(status(kReserve, tMaskRecord{0x1, 0, 0}), 0);
    const tValue8Record early = wait(1);
    EXPECT_EQ(early.status, 0);
    EXPECT_EQ(early.value, 1) << "time-out 0 before the bytes moved";
}

// A channel that never runs: the start fails with the channel's code and leaves it stopped.
TEST_F(LiveStreams, AStartWhoseChannelNeverRuns) {
    blocks_.dma.faults().neverRuns = 1u << 0;
    dmatest::UserPages user(1);
    EXPECT_EQ(status(kAddFrom, tTransferFromDeviceRecord{0, 0, user.address(), 4096, 0, 0}), 0);
    EXPECT_EQ(status(kStart, tStartDMARecord{0, 1, {}, 0}), static_cast<int32_t>(0xBFFA8079));
    EXPECT_FALSE(blocks_.dma.channel(0).running);
    EXPECT_FALSE(blocks_.dma.creditGateOpen(0));
    EXPECT_EQ(status(kClear, tStreamRecord{0, 0}), 0);
}

// A start with both lists empty is refused before the channel is touched, also once the lists
// held buffers that a clear released: the empty first link must never be run.
TEST_F(LiveStreams, AStartOnTwoEmptyListsIsRefused) {
    dmatest::UserPages user(1);
    EXPECT_EQ(status(kStart, tStartDMARecord{1, 1, {}, 0}), -52005);
    EXPECT_EQ(status(kAddTo, tTransferToDeviceRecord{1, 1, user.address(), 4096, 1, 0}), 0);
    EXPECT_EQ(status(kStart, tStartDMARecord{1, 1, {}, 0}), 0);
    EXPECT_EQ(status(kStop, tStreamRecord{1, 0}), 0);
    EXPECT_EQ(status(kClear, tStreamRecord{1, 0}), 0);
    const uint64_t command = board::bar0::kDmaChannels + (1 << board::bar0::kDmaChannelStrideLog2) + 0x58;
    board_.log().clear();
    EXPECT_EQ(status(kStart, tStartDMARecord{1, 1, {}, 0}), -52005);
    EXPECT_TRUE(board_.log().writesTo(command).empty());
    EXPECT_FALSE(blocks_.dma.channel(1).running);
}

// kzvorn-sim's stream requests on the live streams, with the legacy line and with MSI: stream 0
// fills a buffer, a wait released by the board's notification; stream 1 plays a ring three times.
class DmaScript : public LiveStreams, public ::testing::WithParamInterface<bool> {
protected:
    DmaScript() { board_.platform().msiGranted = GetParam(); }
};

TEST_P(DmaScript, Transcript) {
    session_.close();
    const std::string script =
        "reserve 0x1\n"
        "dma.addfrom 0 0 8192\n"
        "dma.start 0 1\n"
        "dma.credits 0 8192\n"
        "board.pump 0 8192 50\n"
        "dma.wait 0 0 8192 2000000\n"
        "dma.count 0\n"
        "dma.dump 1 0 16\n"
        "dma.stop 0\n"
        "dma.clear 0\n"
        "kal.dma\n"
        "dma.addto 1 1 4096 3\n"
        "dma.start 1 1\n"
        "dma.credits 1 36864\n"
        "board.pump 1 36864\n"
        "board.sink 1 4094 4\n"
        "board.sink 1 36860 4\n";
    bool good = false;
    std::string printed = tolvanetest::printedBy(kernel_, blocks_, script, &good);
    EXPECT_TRUE(good);
    // The delayed pump prints from its own thread, as soon as it is done: anywhere after the wait
    // began.
    const std::string delayed = "board.pump: stream 0 moved 8192 bytes\n";
    const size_t at = printed.find(delayed);
    ASSERT_NE(at, std::string::npos) << printed;
    printed.erase(at, delayed.size());
    // kal.dma's detail lines name host addresses: its summary line is what a run must repeat.
    for (size_t line = printed.find("\n  "); line != std::string::npos; line = printed.find("\n  ", line))
        printed.erase(line + 1, printed.find('\n', line + 1) - line);
    std::string dump;
    for (uint64_t i = 0; i < 16; ++i) {
        char byte[3];
        std::snprintf(byte, sizeof byte, "%02X", board::dmaPatternByte(0, i));
        dump += byte;
    }
    EXPECT_EQ(printed,
              "reserve 0x1: status: 0\n"
              "dma.addfrom 0 0 8192: buffer 1, status: 0\n"
              "dma.start 0 1: status: 0\n"
              "dma.credits 0 8192: status: 0\n"
              "board.pump: stream 0, at most 8192 bytes in 50 ms\n"
              "dma.wait 0 0 8192 2000000: timed out: 0, status: 0\n"
              "dma.count 0: count: 8192, status: 0\n"
              "dma.dump 1 0 16: " + dump + "\n"
              "dma.stop 0: status: 0\n"
              "dma.clear 0: status: 0\n"
              "kal.dma: page lists: 16, pinned pages: 0, SG lists: 16, mappings: 16, DMA faults: 0\n"
              "dma.addto 1 1 4096 3: buffer 2, status: 0\n"
              "dma.start 1 1: status: 0\n"
              "dma.credits 1 36864: status: 0\n"
              "board.pump: stream 1 moved 36864 bytes\n"
              "board.sink: stream 1, 36864 bytes: FE FF 00 01\n"
              "board.sink: stream 1, 36864 bytes: FC FD FE FF\n");
    EXPECT_GT(blocks_.dma.interruptsSent(), 0u) << "the notification released the wait";
}

INSTANTIATE_TEST_SUITE_P(LegacyAndMSI, DmaScript, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "MSI" : "Legacy"; });

}  // namespace
}  // namespace ioctltest
