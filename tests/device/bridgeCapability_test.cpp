#include "fixture.h"

#include "kal/sim/registerMemory.h"
#include "kzapal/protons/bridgeCapability.h"

namespace devicetest {
namespace {

using Chain = board::GeographicAddressOptions::Chain;

class BridgeCapability : public DeviceFixture {
protected:
    void SetUp() override {
        DeviceFixture::SetUp();
        tStatus status;
        device_ = build(status);
        ASSERT_TRUE(status.isSuccess());
    }
    void TearDown() override { delete device_; }

    // The read as the device properties make it: 0xFFFFFFFF until the capability says otherwise.
    uint32_t read(const board::GeographicAddressOptions& options, tStatus& status) {
        board::installGeographicAddress(board_, *window_, options);
        board_.bar(0).store(board::kWindowSelectRegister, 4, 0x5500);
        board_.log().clear();
        tGeographicAddress address;
        {
            tKZCapabilityPCIAccessor accessor(*device_, status);
            accessor.getCapability(address, status);
        }
        // Whatever happened, the window registers hold what they held and nothing stays mapped.
        EXPECT_EQ(board_.bar(0).load(board::kWindowBaseRegister, 4), board::kDefaultWindowBase);
        EXPECT_EQ(board_.bar(0).load(board::kWindowSelectRegister, 4), 0x5500u);
        EXPECT_EQ(kal::sim::liveMappings(board_), 0u);
        return address.address;
    }
};

TEST_F(BridgeCapability, GeographicAddressThroughTheWindow) {
    struct Case {
        uint32_t slot, mode, width, shift;
        bool holderAt14, upperHalf;
    };
    for (Case c : {Case{5, 4, 2, 3, false, false}, Case{17, 4, 1, 0, true, false}, Case{31, 4, 4, 8, false, true},
                   Case{9, 1, 2, 4, false, false}, Case{3, 1, 4, 0, true, false}}) {
        board::GeographicAddressOptions options;
        options.slot = c.slot;
        options.mode = c.mode;
        options.width = c.width;
        options.shift = c.shift;
        options.holderAt14 = c.holderAt14;
        options.upperHalfPointer = c.upperHalf;
        tStatus status;
        EXPECT_EQ(read(options, status), c.slot) << c.slot;
        EXPECT_TRUE(status.isSuccess()) << status.getCode();
    }
    // The window was opened with bit 7 and the select register followed the addresses read.
    auto base = board_.log().writesTo(board::kWindowBaseRegister);
    ASSERT_GE(base.size(), 2u);
    EXPECT_EQ(base.front(), board::kDefaultWindowBase | 0x80);
    EXPECT_EQ(base.back(), board::kDefaultWindowBase);
}

TEST_F(BridgeCapability, TheWindowedValueRegisterIsSelected) {
    board::GeographicAddressOptions options;
    tStatus status;
    EXPECT_EQ(read(options, status), 5u);
    auto select = board_.log().writesTo(board::kWindowSelectRegister);
    EXPECT_NE(std::find(select.begin(), select.end(), 0x1000u), select.end());
}

TEST_F(BridgeCapability, AccessModeZeroLeavesTheCallersValue) {
    board::GeographicAddressOptions options;
    options.mode = 0;
    tStatus status;
    EXPECT_EQ(read(options, status), 0xFFFFFFFFu);
    EXPECT_TRUE(status.isSuccess());
}

TEST_F(BridgeCapability, BrokenListsFailWithTheirCodes) {
    struct Case {
        Chain chain;
        uint32_t mode;
        int64_t code;
    };
    for (Case c : {Case{Chain::SecondKind3, 4, -52018}, Case{Chain::Cyclic, 4, -52006}, Case{Chain::Missing, 4, -52006},
                   Case{Chain::NoStart, 4, -52002}, Case{Chain::UnalignedStart, 4, -52002},
                   Case{Chain::Normal, 7, -52005}}) {
        board::BridgeSpace fresh;
        window_->space() = fresh;
        board::GeographicAddressOptions options;
        options.chain = c.chain;
        options.mode = c.mode;
        tStatus status;
        EXPECT_EQ(read(options, status), 0xFFFFFFFFu) << static_cast<int>(c.chain);
        EXPECT_EQ(status.getCode(), c.code) << static_cast<int>(c.chain);
    }
}

TEST_F(BridgeCapability, ACyclicListIsCutShort) {
    board::GeographicAddressOptions options;
    options.chain = Chain::Cyclic;
    tStatus status;
    read(options, status);
    EXPECT_EQ(status.getCode(), -52006);
    EXPECT_LE(board_.log().entries().size(), 2 * tKZCapabilityPCIAccessor::kMaxHops + 32);
}

TEST_F(BridgeCapability, ADirectValueRegisterOutsideTheBARIsRefused) {
    board::GeographicAddressOptions options;
    options.mode = 1;
    board::installGeographicAddress(board_, *window_, options);
    window_->space().write(board::kGeographicHeader + 4, 0x7FFFFFF0);
    tStatus status;
    tGeographicAddress address;
    {
        tKZCapabilityPCIAccessor accessor(*device_, status);
        accessor.getCapability(address, status);
    }
    EXPECT_EQ(status.getCode(), -52005);
    EXPECT_EQ(address.address, 0xFFFFFFFFu);
}

TEST_F(BridgeCapability, ASecondReadStartsAfterTheFoundCapability) {
    board::GeographicAddressOptions options;
    board::installGeographicAddress(board_, *window_, options);
    tStatus status;
    tKZCapabilityPCIAccessor accessor(*device_, status);
    tGeographicAddress address;
    accessor.getCapability(address, status);
    ASSERT_TRUE(status.isSuccess());
    EXPECT_EQ(address.startOffset, board::kGeographicHeader);
    // The geographic address is the last capability: no further one.
    accessor.getCapability(address, status);
    EXPECT_EQ(status.getCode(), -52006);
}

TEST_F(BridgeCapability, AMappingRefusalIsReported) {
    board::installGeographicAddress(board_, *window_);
    tStatus status;
    tGeographicAddress address;
    {
        kal::sim::FailKernelCall refuse("mapPhysicalToKernel");
        tKZCapabilityPCIAccessor accessor(*device_, status);
        accessor.getCapability(address, status);
    }
    EXPECT_EQ(status.getCode(), -52000);
    EXPECT_EQ(address.address, 0xFFFFFFFFu);
}

}  // namespace
}  // namespace devicetest
