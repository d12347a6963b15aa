// The IO port 2 and isolation-port maps over a stub port accessor: one port transaction per
// access, shared port registers, and failed indirect reads.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <vector>

#include "kzapal/protons/statusCodes.h"
#include "quolinTools/armgen/IOPort2RegMap.h"
#include "quolinTools/armgen/IsolationPortRegMap.h"
#include "quolinTools/portAccessor/portAccessorInterface.h"

namespace {

using nKZAPALS100::tStatus;

constexpr int64_t kReadTimeout = KZ_DEVICE_CODE(0xBFFA807D);

struct Call {
    bool write;
    uint32_t offset;
    uint32_t value;
    bool operator==(const Call& o) const { return write == o.write && offset == o.offset && value == o.value; }
};

class StubPort final : public quolintools::PortAccessorInterface {
public:
    void write32(uint32_t offset, uint32_t value, tStatus& status) override {
        if (status.isFatal()) return;
        calls.push_back({true, offset, value});
        if (failWrites) KZ_SET_CODE(status, -50);
        else registers[offset] = value;
    }
    uint32_t read32(uint32_t offset, tStatus& status) override {
        if (status.isFatal()) return 0xFFFFFFFF;
        calls.push_back({false, offset, 0});
        if (timeouts.count(offset)) {
            KZ_SET_CODE(status, kReadTimeout);
            return 0xFFFFFFFF;
        }
        return registers[offset];
    }
    void unsupportedOperation(tStatus& status) override { KZ_SET_CODE(status, KZ_DEVICE_CODE(0xBFFA806F)); }

    std::map<uint32_t, uint32_t> registers;
    std::set<uint32_t> timeouts;
    bool failWrites = false;
    std::vector<Call> calls;
};

struct Ports : ::testing::Test {
    StubPort port;
    quolintools::tIOPort2RegMapWithOffset<0u> io{&port};
    quolintools::tIsolationPortRegMapWithOffset<0u> iso{&port};
    tStatus st;
};

TEST_F(Ports, EveryAccessIsOnePortTransaction) {
    iso.write(0x00000004, 0, false, st);  // the initial value with bit 0 cleared
    iso.write(0x80000018, 0xFFFFFFFF, false, st);
    EXPECT_EQ(iso.IsolationPortReg18().getShadow(), 0xFFFFFFFCu);
    port.registers[0x14] = 0x55;
    uint64_t v = 0;
    iso.read(0xC0000014, v, st);
    EXPECT_EQ(v, 0x55u);
    iso.read(0x80000014, v, st);
    EXPECT_EQ(st.code, nKZAPALS100::kStatusBadParameter);
    EXPECT_EQ(port.calls, (std::vector<Call>{{true, 0x04, 0x0F000202}, {true, 0x18, 0xFFFFFFFF}, {false, 0x14, 0}}));
}

TEST_F(Ports, BothMapsReachTheSamePortRegisterZero) {
    port.registers[0x00] = 0x81;
    uint64_t a = 0, b = 0;
    io.read(0x80000000, a, st);
    iso.read(0x80000000, b, st);
    EXPECT_EQ(a, 0x81u);
    EXPECT_EQ(b, 0x81u);
    EXPECT_EQ(port.calls, (std::vector<Call>{{false, 0, 0}, {false, 0, 0}}));
    tStatus fresh;
    iso.flushRegMap(true, fresh);
    port.calls.clear();
    tStatus walk;
    quolintools::tIsolationPortRegMapWithOffset<0u> newIso{&port};
    newIso.flushRegMap(true, walk);
    EXPECT_EQ(port.calls, (std::vector<Call>{{true, 0x00, 0}, {true, 0x04, 0x0F000203}, {true, 0x18, 0}}));
}

TEST_F(Ports, ATimedOutReadKeepsTheShadowAndTheWalkGoesOn) {
    port.registers[0x80] = 0x1234;
    io.refresh(0xC0000080, st);
    ASSERT_EQ(st.code, 0);
    port.timeouts.insert(0x80);
    port.registers[0x80] = 0x9999;
    port.calls.clear();
    tStatus walk;
    io.refreshRegMap(walk);
    EXPECT_EQ(walk.code, kReadTimeout);
    EXPECT_EQ(io.IoPort2DebugReg0().getShadow(), 0x1234u);
    const std::vector<Call> reads = {{false, 0x00, 0}, {false, 0x08, 0}, {false, 0x0C, 0}, {false, 0x10, 0},
                                     {false, 0x80, 0}, {false, 0x84, 0}, {false, 0x88, 0}, {false, 0x8C, 0}};
    EXPECT_EQ(port.calls, reads);
    tStatus r;
    uint64_t v = 0;
    io.read(0x40000080, v, r);  // answered from the old shadow
    EXPECT_EQ(r.code, kReadTimeout);
    EXPECT_EQ(v, 0x34u);
    // The typed reader the IO port 2 driver polls returns the old shadow on a failed read.
    port.registers[0x00] = 0x80;
    tStatus ok;
    EXPECT_EQ(io.IoPort2ControlStatusRegister().readRegister(ok), 0x80u);
    port.timeouts.insert(0x00);
    tStatus bad;
    EXPECT_EQ(io.IoPort2ControlStatusRegister().readRegister(bad), 0x80u);
    EXPECT_EQ(bad.code, kReadTimeout);
}

TEST_F(Ports, AFailedWriteLeavesTheRegisterDirty) {
    port.failWrites = true;
    io.write(0x08000008, 7, false, st);  // the PLL range
    EXPECT_EQ(st.code, -50);
    EXPECT_TRUE(io.IoPort2Register08().isDirty());
    EXPECT_EQ(io.IoPort2Register08().getShadow(), 0x70u);
    port.failWrites = false;
    tStatus walk;
    io.flushRegMap(false, walk);
    EXPECT_EQ(walk.code, 0);
    EXPECT_FALSE(io.IoPort2Register08().isDirty());
    EXPECT_EQ(port.registers[0x08], 0x70u);
}

}  // namespace
