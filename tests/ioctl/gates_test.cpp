// The product device's IO gates through the ioctl envelope: every request is admitted from the
// level the documented index gives it, and the requests whose output the gate does not settle
// answer what their operations say when it refuses.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

#include "ioctl/requestIndex.h"
#include "kzapalcodegen/ioctlRecords.h"
#include "tolvane/fixture.h"

namespace ioctltest {
namespace {

using namespace kzvorn_driver;

constexpr uint32_t kReset = 0x00208600;
constexpr int32_t kStopped = nKZAPALS100::kStatusSetupStoppedAtLevel;
constexpr int32_t kInvalidated = static_cast<int32_t>(0xBFFA9179);
constexpr int32_t kArgumentOutOfRange = static_cast<int32_t>(0xBFFA4300);

class Gates : public tolvanetest::Tolvane {
protected:
    void SetUp() override {
        Tolvane::SetUp();
        plan_.fakeLevels(3, kzvorn_shared::SetupLevel::kHighest, BringUpPlan::kSucceed);
        ASSERT_EQ(add(), 0);
    }

    template <class tOutput, class tInput>
    static tOutput request(kal::sim::Session& session, uint32_t code, const tInput& input) {
        tOutput output{};
        const auto reply = session.ioctl(code, &input, sizeof input, &output, sizeof output);
        EXPECT_EQ(reply.result, 0);
        return output;
    }

    // Brings the device to the level through a reset request; the session that asked is then invalid.
    void bringTo(uint32_t level) {
        auto session = kernel_.open("smu_kzvorn");
        tResetRecord input{};
        input.targetLevel = level;
        EXPECT_EQ(request<tStatusRecord>(session, kReset, input).status,
                  level == uint32_t(kzvorn_shared::SetupLevel::kHighest) ? 0 : kStopped);
        ASSERT_EQ(tracker().reached, static_cast<int32_t>(level));
    }

    static int32_t statusOfZeroedRequest(kal::sim::Session& session, const IndexRow& row) {
        std::vector<uint8_t> input(row.inputSize, 0), output(row.outputSize, 0xAA);
        const auto reply = session.ioctl(row.code, input.data(), row.inputSize, output.data(), row.outputSize);
        EXPECT_EQ(reply.result, 0);
        int32_t status = 0;
        std::memcpy(&status, output.data() + row.outputStatusOffset, 4);
        return status;
    }
};

// At each level the table names, every code is admitted exactly when its level is at most that
// one; the others get what stopped the bring-up there.
TEST_F(Gates, EveryCodeIsAdmittedFromItsLevelOn) {
    std::set<uint32_t> levels;
    for (const IndexRow& row : kIndex)
        if (row.level != kNone) levels.insert(row.level);
    ASSERT_EQ(levels, (std::set<uint32_t>{0, 1, 11, 12, 14, 22}));
    for (uint32_t level : levels) {
        SCOPED_TRACE(level);
        bringTo(level);
        auto kzvorn = kernel_.open("smu_kzvorn");
        auto cooling = kernel_.open("nPXICOOLING_17_2_pxiCooling");
        for (const IndexRow& row : kIndex) {
            if (row.code == kReset || row.level == kNone) continue;
            SCOPED_TRACE(row.name);
            const bool admitted = row.level <= level;
            std::vector<kal::sim::Session*> sessions{&kzvorn};
            if (row.code == kGetRequestedCoolingMode || row.code == kSetCoolingMode) sessions.push_back(&cooling);
            for (kal::sim::Session* session : sessions) {
                const int32_t status = statusOfZeroedRequest(*session, row);
                if (admitted) {
                    EXPECT_NE(status, kStopped);
                } else {
                    EXPECT_EQ(status, kStopped);
                }
            }
        }
    }
}

// Refused: the accessory query answers 1, the temperature request refuses a bad sensor before it
// looks at the gate, and the in-out fields keep what the caller sent; every other result is 0.
TEST_F(Gates, WhatRefusedRequestsAnswer) {
    auto before = kernel_.open("smu_kzvorn");
    bringTo(0);
    auto session = kernel_.open("smu_kzvorn");

    for (kal::sim::Session* s : {&session, &before}) {
        const tValue32Record accessory = request<tValue32Record>(*s, 0x00202E14, tStatusRecord{});
        EXPECT_EQ(accessory.value, 1u);
        EXPECT_EQ(accessory.status, s == &session ? kStopped : kInvalidated);
    }
    const struct {
        uint32_t sensor;
        int32_t status;
    } sensors[] = {{0, kStopped}, {1, kStopped}, {2, kArgumentOutOfRange}, {0xFFFFFFFF, kArgumentOutOfRange}};
    for (const auto& c : sensors) {
        const tValue16Record reading = request<tValue16Record>(session, 0x00202E01, tValue32Record{c.sensor, 0});
        EXPECT_EQ(reading.status, c.status) << c.sensor;
        EXPECT_EQ(reading.value, 0u);
    }
    EXPECT_EQ(request<tValue16Record>(before, 0x00202E01, tValue32Record{2, 0}).status, kArgumentOutOfRange);

    tRouteBufferRecord buffer{};
    buffer.capacity = 7;
    for (uint32_t code : {0x00208003u, 0x00208007u}) {
        const tValue32Record kept = request<tValue32Record>(session, code, buffer);
        EXPECT_EQ(kept.value, 7u) << code;
        EXPECT_EQ(kept.status, kStopped) << code;
    }
    tCalculateRouteRecord route{};
    route.routeCapacity = 9;
    const tCalculatedRoutesRecord routes = request<tCalculatedRoutesRecord>(session, 0x00208001, route);
    EXPECT_EQ(routes.result, 0u);
    EXPECT_EQ(routes.count, 9u);
    EXPECT_EQ(routes.status, kStopped);
    tRegisterFormatRecord format{};
    format.count = 5;
    EXPECT_EQ(request<tValue32Record>(session, 0x00208111, format).value, 5u);
    tWaitRecord wait{};
    wait.timedOut = 1;
    EXPECT_EQ(request<tValue8Record>(session, 0x00208208, wait).value, 1u);

    const tValue32Record version = request<tValue32Record>(session, 0x00208000, tStatusRecord{});
    EXPECT_EQ(version.value, 0u);
    EXPECT_EQ(version.status, kStopped);
}

}  // namespace
}  // namespace ioctltest
