#include <gtest/gtest.h>

#include "armki/armDispatcher.h"
#include "quolinTools/armgen/Quolin.h"
#include "quolinTools/armgen/Triggers.h"

using nKZAPALS100::tStatus;

// Real maps, built over an accessor they never use: registration reads only their versions.
TEST(ARMDispatcher, RealMapsUnderTheirVersions) {
    arm::MemorySpaceAccess::Accessor unused{};
    quolintools::tTriggersWithOffset<0u> triggers(&unused);
    quolintools::tQuolinWithOffset<0u> quolin(&unused);
    armki::ARMDispatcher maps;
    tStatus status;
    maps.add("Triggers", triggers, status);
    maps.add("Quolin", quolin, status);
    ASSERT_EQ(status.code, 0);

    using Map = arm::DynamicAccessInterfaceBase<tStatus>;
    struct Case {
        const char* name;
        int64_t code;
        Map* object;
    };
    const Case cases[] = {
        {"Triggers", kzregitools::kStatusVersionRequired, nullptr},
        {"Triggers_Ver200a13081315", 0, &triggers},
        {"Triggers_Ver1.0.0d0", kzregitools::kStatusVersionTooOld, nullptr},
        {"Triggers_Ver3.0.0d0", kzregitools::kStatusVersionNewerThanObject, &triggers},
        {"Quolin_Ver23.3.0f121", 0, &quolin},
        {"Quolin_Ver23.3.0f120", kzregitools::kStatusVersionTooOld, nullptr},
    };
    for (const Case& c : cases) {
        tStatus lookup;
        Map* object = nullptr;
        kzregitools::tMutex* lock = nullptr;
        maps.getRegistration(c.name, object, lookup, &lock);
        EXPECT_EQ(lookup.code, c.code) << c.name;
        EXPECT_EQ(object, c.object) << c.name;
        EXPECT_EQ(lock != nullptr, c.object != nullptr) << c.name;
    }
}
