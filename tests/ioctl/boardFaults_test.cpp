// kzvorn-sim's fault knobs on the flash image: what each stores, and the values they refuse.
#include <gtest/gtest.h>

#include <string>

#include "boardFaults.h"

namespace ioctltest {
namespace {

board::Coefficient storedCoefficient(const board::FlashImage& image, const std::string& record, uint32_t field,
                                     uint32_t index) {
    board::Coefficient c{};
    const uint32_t address = board::storedRecord(record).offset + field + 16 * index;
    image.read(address, &c.low, 8);
    image.read(address + 8, &c.high, 8);
    return c;
}

TEST(BoardFaults, FlashKnobsSpoilOneThingEach) {
    kzvornsim::BoardFaults faults;
    std::string why;
    ASSERT_TRUE(faults.add("cal-zero-offset=1:2", why)) << why;
    ASSERT_TRUE(faults.add("cal-bad-gain=3", why)) << why;
    ASSERT_TRUE(faults.add("flash-corrupt=Header", why)) << why;
    board::ProductOptions options;
    faults.apply(options);
    ASSERT_TRUE(options.flash.has_value());
    const board::FlashImage& image = *options.flash;
    const board::FlashImage standard = board::FlashImage::standard();
    namespace r = board::record;
    for (const char* kind : {"Default", "Factory", "External", "Self"}) {
        const std::string name = std::string(kind) + "CalibrationChannel1";
        SCOPED_TRACE(name);
        EXPECT_EQ(storedCoefficient(image, name, r::kChargeBalanceOffsets, 2), (board::Coefficient{0, 0}));
        EXPECT_EQ(storedCoefficient(image, name, r::kChargeBalanceOffsets, 1),
                  storedCoefficient(standard, name, r::kChargeBalanceOffsets, 1));
        EXPECT_TRUE(image.isChecksumValid(name));
    }
    EXPECT_EQ(storedCoefficient(image, "SelfCalibrationChannel3", r::kVoltageGain, 0),
              (board::Coefficient{uint64_t{1} << 55, 0}));
    EXPECT_TRUE(image.isChecksumValid("SelfCalibrationChannel3"));
    EXPECT_EQ(storedCoefficient(image, "ExternalCalibrationChannel3", r::kVoltageGain, 0),
              storedCoefficient(standard, "ExternalCalibrationChannel3", r::kVoltageGain, 0));
    EXPECT_FALSE(image.isChecksumValid("Header"));
    EXPECT_TRUE(image.isChecksumValid("Manufacturing"));
}

TEST(BoardFaults, FlashKnobsRefuseValuesOutsideTheBoard) {
    for (const char* fault : {"cal-zero-offset=4:0", "cal-zero-offset=0:4", "cal-zero-offset=1", "cal-bad-gain=4",
                              "cal-bad-gain", "flash-corrupt=Posc", "flash-corrupt=Nothing", "flash-corrupt"}) {
        kzvornsim::BoardFaults faults;
        std::string why;
        EXPECT_FALSE(faults.add(fault, why)) << fault;
    }
}

}  // namespace
}  // namespace ioctltest
