// The route controller's PXI trigger outputs and the temperature sensor.
#include <gtest/gtest.h>

#include <vector>

#include "controllers/routeController.h"
#include "controllers/statusCodes.h"
#include "controllers/temperatureSensorController.h"
#include "device/statusCodes.h"
#include "kal/sim/clock.h"
#include "seq/countingChecker.h"
#include "kzvorn_regMaps/fakeFrontEnd.h"
#include "kzvorn_regMaps/fixture.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoFpgaRegMap.h"

namespace {

using armtest::Access;
using armtest::R;
using armtest::W;
using kzvorn_regmaps::tTolvaneNisoFpgaRegMap;
using nKZAPALS100::tStatus;

using Checker = seqtest::CountingChecker;

struct NisoControllers : kzmaps::NisoBoard {
    tTolvaneNisoFpgaRegMap map{&block, st, 0, 0, 0xFFFFFFFF};
    NisoControllers() { kal::sim::clock().reset(); }
    ~NisoControllers() override { kal::sim::clock().reset(); }
};

TEST_F(NisoControllers, TriggerOutputsTakeTheBufferFirstOnAndLastOff) {
    kzvorn_driver::RouteController route(map);
    route.enableTriggerOutput(8, st);
    EXPECT_EQ(seen(true), (std::vector<Access>{W(0xC0, 32, 1u << 30), W(0xC0, 32, 0xC0000019)}));
    board.log().clear();
    route.disableTriggerLine(8, st);
    EXPECT_EQ(seen(true), (std::vector<Access>{W(0xC0, 32, 0x40000019), W(0xC0, 32, 0x19)}));
    board.log().clear();
    route.enableTriggerLine(0, st);
    route.routeConnected(0x1234, st);
    route.routeDisconnecting(0x1234, st);
    EXPECT_EQ(seen(true), (std::vector<Access>{W(0xA0, 32, 1u << 30), W(0xA0, 32, 0xC0000019)}));
    EXPECT_EQ(st.code, 0);
}

// The pause is a deadline on the precise counter: the sleep is only ever asked for 0.
TEST_F(NisoControllers, ThePauseBetweenBufferAndOutputSleepsNoWholeMillisecond) {
    kzvorn_driver::RouteController route(map);
    kal::sim::clock().recordSleeps(true);
    kal::sim::clock().setReadStepNs(10);
    const uint64_t start = kal::sim::clock().nowNs();
    route.enableTriggerOutput(3, st);
    EXPECT_GE(kal::sim::clock().nowNs() - start, 25u);
    for (uint32_t us : kal::sim::clock().sleeps()) EXPECT_EQ(us, 0u);
    EXPECT_FALSE(kal::sim::clock().sleeps().empty());
}

TEST_F(NisoControllers, ATriggerIndexBeyondTheNineOutputsTouchesNothing) {
    kzvorn_driver::RouteController route(map);
    kal::sim::clock().recordSleeps(true);
    for (uint64_t index : {9ull, 10ull, 1ull << 40}) {
        for (int enable = 0; enable < 2; ++enable) {
            tStatus status;
            enable ? route.enableTriggerOutput(index, status) : route.disableTriggerOutput(index, status);
            EXPECT_EQ(status.code, kzvorn_driver::kStatusArgumentOutOfRange) << index;
        }
    }
    EXPECT_TRUE(seen().empty());
    EXPECT_TRUE(kal::sim::clock().sleeps().empty());
}

struct Temperature : NisoControllers {
    kzmaps::FakeFrontEnd isolated;
    tStatus mapStatus;
    kzvorn_regmaps::tTolvaneIsoFpgaRegMap iso{&isolated, mapStatus};
    Checker checker;
    kzvorn_driver::TemperatureSensorController sensor{map, iso.VrefTempSensorConfigReg(), checker};
};

TEST_F(Temperature, ConfigurationLatchesThenStartsAfter165us) {
    sensor.configureVrefTemperatureSensor(st);
    EXPECT_EQ(st.code, 0);
    const std::vector<Access> writes = isolated.take();
    EXPECT_EQ(writes, (std::vector<Access>{W(0x06, 32, 0x00056060), W(0x06, 32, 0x00800000)}));
    EXPECT_EQ(iso.VrefTempSensorConfigReg().getShadow(), 0u) << "only the kept bits stay";
    EXPECT_TRUE(seen().empty());
}

TEST_F(Temperature, ReadingsWaitForTheirValidBit) {
    // The board's sensor reports a valid reference reading once configured and started.
    board::IsolatedSequencers& sensor = fpga().isolatedLink().sequencers();
    sensor.write(0x06, 0x00056060);
    sensor.write(0x06, 0x00800000);
    fpga().write(0x818, 4, 0x4ABC | 0x10000);
    fpga().write(0x820, 4, 0x0F23);
    EXPECT_EQ(this->sensor.readVrefTemperature(st), 0x4ABC);
    EXPECT_EQ(this->sensor.readNisoFpgaTemperature(st), 0x0F23);
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(checker.runs, 0);

    struct Case {
        bool vref;
        int64_t fault;
        uint64_t deadlineUs;
    };
    fpga().write(0x818, 4, 0x123);
    fpga().write(0x820, 4, 0x456);
    sensor.options().vrefNeverValid = true;
    sensor.options().nisoTemperatureNeverValid = true;
    for (const Case& c : {Case{true, 0, 500000}, Case{false, 0, 8320}, Case{false, -77, 8320}}) {
        checker.runs = 0;
        checker.fault = c.fault;
        tStatus status;
        const uint64_t start = kal::sim::clock().nowUs();
        const uint16_t value =
            c.vref ? this->sensor.readVrefTemperature(status) : this->sensor.readNisoFpgaTemperature(status);
        const uint64_t elapsed = kal::sim::clock().nowUs() - start;
        EXPECT_EQ(value, c.vref ? 0x123 : 0x456);
        EXPECT_EQ(status.code, c.fault != 0 ? c.fault : kzvorn_driver::kStatusTemperatureNotValid);
        EXPECT_EQ(checker.runs, 1);
        EXPECT_GE(elapsed, c.deadlineUs);
        // At most one longest pause past the deadline, give or take the sleeps' rounding.
        EXPECT_LE(elapsed, c.deadlineUs + 100000 + 5000);
    }
}

}  // namespace
