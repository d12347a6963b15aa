// The hardware-errors request through the ioctl envelope: its gate, its argument checks and the
// caller's buffer.
#include <gtest/gtest.h>

#include <cstring>

#include "kzapalcodegen/ioctlRecords.h"
#include "tolvane/fixture.h"

namespace ioctltest {
namespace {

using namespace kzvorn_driver;

constexpr uint32_t kGetHardwareErrors = 0x00202E00;

class HardwareErrors : public tolvanetest::Tolvane {
protected:
    // The status, with the caller's buffer left as it was filled (0xA5) when nothing was written.
    int32_t getHardwareErrors(uint64_t address, uint32_t size) {
        auto session = kernel_.open("smu_kzvorn");
        EXPECT_TRUE(session);
        tSizedUserBufferRecord input{};
        input.address = address;
        input.size = size;
        tStatusRecord output{};
        const auto reply = session.ioctl(kGetHardwareErrors, &input, sizeof input, &output, sizeof output);
        EXPECT_EQ(reply.result, 0);
        EXPECT_EQ(reply.bytesReturned, sizeof output);
        return output.status;
    }
    uint8_t buffer_[64];
    uint64_t address() { return reinterpret_cast<uint64_t>(buffer_); }
    bool untouched() const {
        for (uint8_t b : buffer_)
            if (b != 0xA5) return false;
        return true;
    }
    void SetUp() override {
        Tolvane::SetUp();
        std::memset(buffer_, 0xA5, sizeof buffer_);
    }
};

TEST_F(HardwareErrors, BelowLevelElevenTheTrackersStatusAnswers) {
    plan_.fakeLevels(3, 10, BringUpPlan::kSucceed);
    ASSERT_EQ(add(), 0);
    ASSERT_EQ(tracker().reached, 10u);
    EXPECT_EQ(getHardwareErrors(address(), 58), int32_t(tracker().status.code));
    EXPECT_NE(tracker().status.code, 0);
    EXPECT_TRUE(untouched());
}

TEST_F(HardwareErrors, TheArgumentsAreCheckedBeforeTheController) {
    plan_.fakeLevels(3, kzvorn_shared::SetupLevel::kHighest, BringUpPlan::kSucceed);
    ASSERT_EQ(add(), 0);
    struct Case {
        uint64_t address;
        uint32_t size;
        int32_t status;
    };
    for (const Case& c : {Case{address(), 57, -52005}, Case{address(), 59, -52005}, Case{0, 58, -52005},
                          Case{address(), 58, -52002}}) {
        SCOPED_TRACE(c.size);
        EXPECT_EQ(getHardwareErrors(c.address, c.size), c.status);
        EXPECT_TRUE(untouched());
    }
}

}  // namespace
}  // namespace ioctltest
