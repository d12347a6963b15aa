// The built levels map no user memory: the product device refuses the map-memory callback before
// any map call, so the life-cycle sweep never meets the page-list and physical-address maps. Here
// the driver's map object meets each refusal of the kernel.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "board/product.h"
#include "kal/sim/faults.h"
#include "kal/sim/harness.h"
#include "kal/sim/user.h"
#include "kzapal/protons/userMemory.h"

using kzvorn_driver::nKZAPAL000::tUserMemoryMap;
using nKZAPALS100::tStatus;

TEST(UserMemoryMaps, TheProductDeviceRefusesAMapBeforeAnyMapCall) {
    board::Board board(board::productIdentity());
    board::installProduct(board);
    kal::sim::Kernel kernel;
    ASSERT_EQ(kernel.load(), 0);
    ASSERT_EQ(kernel.addDevice(kernel.plug(board)), 0);
    kal::sim::Session session = kernel.open("smu_kzvorn");
    ASSERT_TRUE(session);
    kal::sim::UserMapRequest request;
    request.size = 0x1000;
    request.virtualAddress = 0x7F0000000000ull;
    void* map = nullptr;
    uint32_t flag = 0;
    kal::sim::RecordKernelCalls recorder;
    EXPECT_EQ(session.map(request, 0, map, flag), -51256) << "-52002: not supported";
    for (const auto& call : recorder.calls()) EXPECT_EQ(call.name.rfind("tUserMemMap_", 0), std::string::npos);
    EXPECT_TRUE(request.pageLists.empty() && request.physical.empty());
}

TEST(UserMemoryMaps, TheKernelsRefusalIsTheCallersStatusAndMapsNothing) {
    struct Case {
        const char* call;
        std::function<void(tUserMemoryMap&, tStatus&)> map;
    };
    int pageList = 0;
    const Case cases[] = {
        {"tUserMemMap_mapPageList", [&](tUserMemoryMap& m, tStatus& s) { m.mapPageList(&pageList, 0, 0x1000, s); }},
        {"tUserMemMap_mapPhysicalAddress",
         [](tUserMemoryMap& m, tStatus& s) { m.mapPhysicalAddress(0x100000000ull, 0x1000, 1, s); }},
    };
    for (const Case& c : cases) {
        kal::sim::UserMapRequest request;
        request.size = 0x1000;
        tUserMemoryMap map(nullptr, &request, 0);
        tStatus status;
        {
            kal::sim::FailKernelCall refuse(c.call, 1, 1, -51352);
            c.map(map, status);
            EXPECT_EQ(refuse.failures(), 1u) << c.call;
        }
        EXPECT_EQ(status.getCode(), -52000) << c.call;
        EXPECT_TRUE(request.pageLists.empty() && request.physical.empty()) << c.call;
        tStatus again;
        c.map(map, again);
        EXPECT_TRUE(again.isSuccess()) << c.call;
        EXPECT_EQ(request.pageLists.size() + request.physical.size(), 1u) << c.call;
    }
}
