// The setup, reset, reservation, cleanup and cooling requests of the product device, through the
// ioctl envelope.
#include <gtest/gtest.h>

#include <string>

#include "ioctl/requestIndex.h"
#include "kzapalcodegen/ioctlRecords.h"
#include "kzRegiTools/statusCodes.h"
#include "storageMap/statusCodes.h"
#include "tolvane/fixture.h"

namespace ioctltest {
namespace {

using namespace kzvorn_driver;
using nKZAPALS100::tStatus;

constexpr uint32_t kGetSetupLevel = 0x00202B00;
constexpr uint32_t kReset = 0x00208600;
constexpr uint32_t kCheckHardwareState = 0x00208601;
constexpr uint32_t kCheckChannelHardwareState = 0x00208602;
constexpr uint32_t kCleanup = 0x00208603;
constexpr uint32_t kReserveResources = 0x00208604;
constexpr uint32_t kGetCoolingMode = 0x00202701;
constexpr uint32_t kOverrideCoolingMode = 0x00202702;
constexpr uint32_t kGetHardwareErrors = 0x00202E00;

constexpr int32_t kInvalidated = static_cast<int32_t>(0xBFFA9179);
constexpr int32_t kAlreadyReserved = static_cast<int32_t>(0xBFFA4319);
constexpr int32_t kInvalidChannel = static_cast<int32_t>(0xBFFA4303);

class SetupOperations : public tolvanetest::Tolvane {
protected:
    // Levels 3 and up succeed without building anything.
    void addAtHighestLevel() {
        plan_.fakeLevels(3, kzvorn_shared::SetupLevel::kHighest, BringUpPlan::kSucceed);
        ASSERT_EQ(add(), 0);
        ASSERT_EQ(tracker().reached, kzvorn_shared::SetupLevel::kHighest);
    }

    template <class tOutput, class tInput>
    static tOutput request(kal::sim::Session& session, uint32_t code, const tInput& input) {
        tOutput output{};
        const auto reply = session.ioctl(code, &input, sizeof input, &output, sizeof output);
        EXPECT_EQ(reply.result, 0);
        EXPECT_EQ(reply.bytesReturned, sizeof output);
        return output;
    }
    static tValue32Record level(kal::sim::Session& session, int32_t callerStatus = 0) {
        return request<tValue32Record>(session, kGetSetupLevel, tStatusRecord{callerStatus});
    }
    static int32_t reset(kal::sim::Session& session, uint32_t target, int32_t callerStatus = 0) {
        tResetRecord input{};
        input.targetLevel = target;
        input.status = callerStatus;
        return request<tStatusRecord>(session, kReset, input).status;
    }
    static int32_t reserve(kal::sim::Session& session, uint64_t mask) {
        tMaskRecord input{};
        input.mask = mask;
        return request<tStatusRecord>(session, kReserveResources, input).status;
    }
    static int32_t cleanup(kal::sim::Session& session, int32_t callerStatus = 0) {
        return request<tStatusRecord>(session, kCleanup, tStatusRecord{callerStatus}).status;
    }
    static int32_t checkHardwareState(kal::sim::Session& session, uint64_t reserved) {
        tHardwareStateRecord input{};
        input.reserved = reserved;
        return request<tStatusRecord>(session, kCheckHardwareState, input).status;
    }
};

TEST_F(SetupOperations, LevelQueryAndResetToALevel) {
    addAtHighestLevel();
    auto first = kernel_.open("smu_kzvorn");
    auto cooling = kernel_.open("nPXICOOLING_17_2_pxiCooling");
    ASSERT_TRUE(first && cooling);
    tValue32Record reached = level(first);
    EXPECT_EQ(reached.value, 22u);
    EXPECT_EQ(reached.status, 0);
    // The query answers even when the caller sent an error, which comes back.
    reached = level(first, -1);
    EXPECT_EQ(reached.value, 22u);
    EXPECT_EQ(reached.status, -1);

    // Out of range, also as a negative level; the caller's error stops the reset.
    EXPECT_EQ(reset(first, 23), nKZAPALS100::kStatusBadParameter);
    EXPECT_EQ(reset(first, 0xFFFFFFFF), nKZAPALS100::kStatusBadParameter);
    EXPECT_EQ(reset(first, 1, -1), -1);
    EXPECT_EQ(level(first).value, 22u);
    EXPECT_EQ(level(first).status, 0);

    // The reset's own request does not keep it waiting.
    EXPECT_EQ(reset(first, 1), nKZAPALS100::kStatusSetupStoppedAtLevel);
    auto second = kernel_.open("smu_kzvorn");
    EXPECT_EQ(reset(second, 2), nKZAPALS100::kStatusSetupStoppedAtLevel);
    auto third = kernel_.open("smu_kzvorn");
    EXPECT_EQ(level(third).value, 2u);
    EXPECT_EQ(level(third).status, 0);
    for (kal::sim::Session* before : {&first, &second}) {
        reached = level(*before);
        EXPECT_EQ(reached.status, kInvalidated);
        EXPECT_EQ(reached.value, 0u);
    }
    EXPECT_EQ(request<tValue32Record>(cooling, kGetRequestedCoolingMode, tStatusRecord{}).status, kInvalidated);

    // Back to the highest level from a request of a valid session.
    EXPECT_EQ(reset(third, 22), 0);
    auto fourth = kernel_.open("smu_kzvorn");
    EXPECT_EQ(level(fourth).value, 22u);
}

TEST_F(SetupOperations, ReservationsAndCleanup) {
    addAtHighestLevel();
    auto a = kernel_.open("smu_kzvorn");
    auto b = kernel_.open("smu_kzvorn");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(reserve(a, 0x3), 0);
    EXPECT_EQ(reserve(b, 0x1), kAlreadyReserved);
    EXPECT_EQ(reserve(a, 0x1), kAlreadyReserved);  // held by the caller itself
    EXPECT_EQ(reserve(b, 0x10), kInvalidChannel);
    EXPECT_EQ(reserve(b, 0x4), 0);

    EXPECT_EQ(cleanup(a), 0);
    EXPECT_EQ(reserve(b, 0x1), 0);
    // A second cleanup runs nothing: b's channel stays b's. The session is still valid.
    EXPECT_EQ(cleanup(a), 0);
    EXPECT_EQ(reserve(a, 0x1), kAlreadyReserved);
    EXPECT_EQ(reserve(a, 0x2), 0);

    // Sent with an error, the cleanup still undoes what the session holds and returns the error.
    EXPECT_EQ(cleanup(b, -1), -1);
    EXPECT_EQ(reserve(a, 0x5), 0);
}

TEST_F(SetupOperations, HardwareStateChecks) {
    addAtHighestLevel();
    struct Checker : kdut::HardwareStateCheckerInterface {
        void checkHardwareState(tStatus& status) override {
            ++calls;
            KZ_SET_CODE(status, code);
        }
        int calls = 0;
        int64_t code = 0;
    } checker;
    tStatus status;
    device()->getHelper()->getHardwareStateCheckers()->add(&checker, status);
    ASSERT_TRUE(status.isSuccess());
    auto session = kernel_.open("smu_kzvorn");

    EXPECT_EQ(checkHardwareState(session, 1), nKZAPALS100::kStatusBadParameter);
    EXPECT_EQ(checkHardwareState(session, 0x100000000), nKZAPALS100::kStatusBadParameter);
    EXPECT_EQ(checker.calls, 0);
    EXPECT_EQ(checkHardwareState(session, 0), 0);
    checker.code = KZ_DEVICE_CODE(0xBFFA4088);
    EXPECT_EQ(checkHardwareState(session, 0), static_cast<int32_t>(0xBFFA4088));
    EXPECT_EQ(checker.calls, 2);

    // The channel check is not offered on this device.
    tChannelHardwareStateRecord channel{};
    EXPECT_EQ(request<tStatusRecord>(session, kCheckChannelHardwareState, channel).status,
              nKZAPALS100::kStatusFeatureNotSupported);
    device()->getHelper()->getHardwareStateCheckers()->remove(&checker, status);
}

// Below the highest level the level-22 requests get the status that stopped the bring-up (here
// level 18's stand-in failing).
TEST_F(SetupOperations, LevelTwentyTwoRequestsBelowIt) {
    plan_.fake(BringUpPlan::stepOfLevel(18), BringUpPlan::kFail, KZ_DEVICE_CODE(0xBFFA8012));
    ASSERT_EQ(add(), 0);
    ASSERT_EQ(tracker().reached, 17);
    ASSERT_TRUE(tracker().status.isFatal());
    auto session = kernel_.open("smu_kzvorn");
    EXPECT_EQ(level(session).value, static_cast<uint32_t>(tracker().reached));
    EXPECT_EQ(reserve(session, 0x1), tracker().status.code);
    EXPECT_EQ(checkHardwareState(session, 0), tracker().status.code);
    EXPECT_EQ(cleanup(session), 0);
}

// Until level 5 builds the cooling-mode setting, the mode in force is the device's initial one
// and no request changes it.
TEST_F(SetupOperations, CoolingRequests) {
    addAtHighestLevel();
    auto kzvorn = kernel_.open("smu_kzvorn");
    auto cooling = kernel_.open("nPXICOOLING_17_2_pxiCooling");
    tValue32Record mode = request<tValue32Record>(kzvorn, kGetCoolingMode, tStatusRecord{-1});
    EXPECT_EQ(mode.value, 16u);
    EXPECT_EQ(mode.status, -1);
    for (kal::sim::Session* session : {&kzvorn, &cooling}) {
        mode = request<tValue32Record>(*session, kGetRequestedCoolingMode, tStatusRecord{});
        EXPECT_EQ(mode.value, device()->getHelper()->getCapabilities()->requestedCoolingMode);
        EXPECT_EQ(mode.status, 0);
        EXPECT_EQ(request<tStatusRecord>(*session, kSetCoolingMode, tValue32Record{0x120, 0}).status,
                  nKZAPALS100::kStatusFeatureNotSupported);
    }
    EXPECT_EQ(request<tStatusRecord>(kzvorn, kOverrideCoolingMode, tValue32Record{8, 0}).status,
              nKZAPALS100::kStatusFeatureNotSupported);
    EXPECT_EQ(device()->getCoolingPair().mode, 16u);
    EXPECT_EQ(device()->getCoolingPair().requester, 0u);
}

bool isNamedAccess(const IndexRow& row) { return (row.code & 0xFFFFFF00) == 0x00208100; }

// A named-access request with a zeroed record, when the levels that register objects were faked.
int32_t namedAccessOnEmptyRegistries(const IndexRow& row) {
    const std::string name = row.name;
    if (name.find("RegistrationNames") != std::string::npos) return kzregitools::kStatusNullPointer;
    if (name.find("NumberOfRegistrations") != std::string::npos || name.find("RegistrationList") != std::string::npos)
        return 0;
    if (name.find("Raw") != std::string::npos) return storagemap::kStatusOutOfRange;  // element size 0
    return kzregitools::kStatusNameNotFound;
}

// Each request passes the product device's gate at its own level: with the bring-up stopped at
// level 11, the requests of levels 12 and up get the code that stopped it.
TEST_F(SetupOperations, ProductDeviceGatesEveryRequestAtItsLevel) {
    const int64_t stopped = KZ_DEVICE_CODE(0xBFFA4999);
    plan_.fakeLevels(3, 11, BringUpPlan::kSucceed);
    plan_.fakeLevels(12, 12, BringUpPlan::kFail, stopped);
    ASSERT_EQ(add(), 0);
    ASSERT_EQ(tracker().reached, 11);
    auto kzvorn = kernel_.open("smu_kzvorn");
    auto cooling = kernel_.open("nPXICOOLING_17_2_pxiCooling");
    for (const IndexRow& row : kIndex) {
        if (row.code == kReset) continue;
        SCOPED_TRACE(row.name);
        int32_t expected = nKZAPALS100::kStatusFeatureNotSupported;
        if (row.level == kNone) {
            expected = static_cast<int32_t>(0xBFFA4308);
        } else if (row.level > 11) {
            expected = static_cast<int32_t>(stopped);
        } else if (row.code == kGetSetupLevel || row.code == kCleanup) {
            expected = 0;
        } else if (isNamedAccess(row)) {
            expected = namedAccessOnEmptyRegistries(row);
        } else if (row.code == kGetHardwareErrors) {
            expected = nKZAPALS100::kStatusBadParameter;  // a zeroed record names no buffer
        } else if (row.code >= 0x00202E05 && row.code <= 0x00202E08) {
            expected = static_cast<int32_t>(0xBFFA4303);  // the alarms: a zeroed mask names no channel
        }
        for (kal::sim::Session* session : {&kzvorn, &cooling}) {
            if (session == &cooling && row.code != kGetRequestedCoolingMode && row.code != kSetCoolingMode) continue;
            std::vector<uint8_t> input(row.inputSize, 0), output(row.outputSize, 0xAA);
            const auto reply = session->ioctl(row.code, input.data(), row.inputSize, output.data(), row.outputSize);
            ASSERT_EQ(reply.result, 0);
            int32_t status = 0;
            std::memcpy(&status, output.data() + row.outputStatusOffset, 4);
            EXPECT_EQ(status, expected);
        }
    }
}

}  // namespace
}  // namespace ioctltest
