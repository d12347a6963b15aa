// The DMA stream requests through the envelope on a device whose levels from 5 on are stand-ins:
// without DMA objects they pass their gates and answer -52002, after the waits' own checks.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

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

class DmaRequests : public tolvanetest::Tolvane {
protected:
    void SetUp() override {
        Tolvane::SetUp();
        plan_.fakeLevels(5, kzvorn_shared::SetupLevel::kHighest, BringUpPlan::kSucceed);
        ASSERT_EQ(add(), 0);
        session_ = kernel_.open("smu_kzvorn");
    }

    template <class tOutput, class tInput>
    tOutput request(uint32_t code, const tInput& input) {
        tOutput output{};
        EXPECT_EQ(session_.ioctl(code, &input, sizeof input, &output, sizeof output).result, 0);
        return output;
    }
    tValue8Record wait(uint32_t stream, uint8_t flag) {
        tWaitRecord input{};
        input.stream = stream;
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

}  // namespace
}  // namespace ioctltest
