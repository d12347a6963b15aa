#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "kal/sim/faults.h"
#include "kal/sim/harness.h"
#include "kal/sim/publication.h"
#include "kzapal/quarks/trace.h"
#include "kzapalcodegen/driverEntry.h"

namespace {

using namespace kzvorn_driver;

TEST(DriverEntry, FillsAndRegistersTheRecord) {
    kal::sim::Kernel kernel;
    auto& record = kernel.record();
    record.kernelLayer[1] = 0x5555;
    record.kernelLayer2 = 0x7777;
    ASSERT_EQ(kernel.load(), 0);
    auto* bytes = reinterpret_cast<const uint8_t*>(&record);
    auto slot = [&](size_t offset) {
        uint64_t value;
        std::memcpy(&value, bytes + offset, 8);
        return value;
    };
    EXPECT_STREQ(reinterpret_cast<const char*>(slot(24)), "kzvorn_driver");
    const std::pair<size_t, const void*> callbacks[] = {
        {40, reinterpret_cast<const void*>(nKZAPAL200_open)},
        {48, reinterpret_cast<const void*>(nKZAPAL200_close)},
        {56, reinterpret_cast<const void*>(nKZAPAL200_read)},
        {64, reinterpret_cast<const void*>(nKZAPAL200_write)},
        {72, reinterpret_cast<const void*>(nKZAPAL200_ioctl)},
        {80, reinterpret_cast<const void*>(nKZAPAL200_unloadDriver)},
        {88, reinterpret_cast<const void*>(nKZAPAL200_addDevice)},
        {96, reinterpret_cast<const void*>(nKZAPAL200_removeDevice)},
        {104, reinterpret_cast<const void*>(nKZAPAL200_mapMemory)},
        {112, reinterpret_cast<const void*>(nKZAPAL200_unmapMemory)},
        {120, reinterpret_cast<const void*>(nKZAPAL200_deleteDevice)},
    };
    for (auto [offset, function] : callbacks) EXPECT_EQ(slot(offset), reinterpret_cast<uint64_t>(function)) << offset;
    // The kernel layer's own fields are not touched.
    EXPECT_EQ(slot(8), 0x5555u);
    EXPECT_EQ(slot(32), 0x7777u);
    EXPECT_EQ(kal::sim::registeredDriver(), &record);
    EXPECT_EQ(getDriverHandle(), &record);
    kernel.unload();
    EXPECT_EQ(kal::sim::registeredDriver(), nullptr);
    EXPECT_EQ(getDriverHandle(), nullptr);
    EXPECT_EQ(getModuleUseCount(), 0u);
}

TEST(DriverEntry, LoadsAgainAfterUnloadAndLeavesNothingBehind) {
    const int64_t before = kal::sim::liveAllocations();
    for (int round = 0; round < 3; ++round) {
        kal::sim::Kernel kernel;
        EXPECT_EQ(nKZAPAL000::tTrace::getTrace(), nullptr);
        ASSERT_EQ(kernel.load(), 0) << round;
        EXPECT_EQ(getModuleUseCount(), 1u);
        // The static objects exist while the module is loaded.
        EXPECT_NE(nKZAPAL000::tTrace::getTrace(), nullptr);
        kernel.unload();
        EXPECT_EQ(getModuleUseCount(), 0u);
        EXPECT_EQ(nKZAPAL000::tTrace::getTrace(), nullptr);
    }
    EXPECT_EQ(kal::sim::liveAllocations(), before);
}

TEST(DriverEntry, ARefusedRegistrationRunsTheExitHandlersAndReturnsItsCode) {
    kal::sim::Kernel kernel;
    {
        kal::sim::FailKernelCall refuse("registerDriver", 1, 1, -51150);
        EXPECT_EQ(kernel.load(), -51150);
    }
    EXPECT_FALSE(kernel.isLoaded());
    EXPECT_EQ(getModuleUseCount(), 0u);
    EXPECT_EQ(getDriverHandle(), nullptr);
    ASSERT_EQ(kernel.load(), 0);
}

std::vector<std::string> gEvents;

void initializeFirst() {
    gEvents.push_back("init first");
    registerExitHandler([](void*) { gEvents.push_back("exit first"); }, nullptr);
}
void initializeSecond() {
    gEvents.push_back("init second");
    static int argument = 2;
    registerExitHandler([](void* a) { gEvents.push_back("exit second " + std::to_string(*static_cast<int*>(a))); },
                        &argument);
}

TEST(StaticInitializers, RunOnceLastEntryFirstAndExitHandlersLastRegisteredFirst) {
    const tStaticInitializer table[] = {initializeFirst, initializeSecond};
    gEvents.clear();
    runStaticInitializers(table, 2);
    runStaticInitializers(table, 2);
    EXPECT_EQ(getModuleUseCount(), 2u);
    EXPECT_EQ(gEvents, (std::vector<std::string>{"init second", "init first"}));
    runExitHandlers();
    EXPECT_EQ(gEvents.size(), 2u);
    runExitHandlers();
    EXPECT_EQ(gEvents, (std::vector<std::string>{"init second", "init first", "exit first", "exit second 2"}));
    EXPECT_EQ(getModuleUseCount(), 0u);
    runExitHandlers();
    EXPECT_EQ(getModuleUseCount(), 0u);
}

TEST(StaticInitializers, AnExitHandlerThatCannotBeAllocatedIsNotRegistered) {
    const int64_t before = kal::sim::liveAllocations();
    {
        kal::sim::FailAllocations fail(1);
        EXPECT_FALSE(registerExitHandler([](void*) { FAIL(); }, nullptr));
    }
    runStaticInitializers(nullptr, 0);
    runExitHandlers();
    EXPECT_EQ(kal::sim::liveAllocations(), before);
}

TEST(ModuleData, PCIIDTableListsTheProductsIdentifiers) {
    EXPECT_EQ(sizeof(nKZAPAL200_pciIDTable), 89u);
    char expected[89];
    std::snprintf(expected, sizeof(expected),
                  "nKZKAL200_beginPCIIDTable\n0x%04X 0x%04X 0x%04X 0x%04X none none\nnKZKAL200_endPCIIDTable\n",
                  kPCIVendorID, kPCIDeviceID, kPCISubsystemVendorID, kPCISubsystemID);
    EXPECT_STREQ(nKZAPAL200_pciIDTable, expected);
}

TEST(ModuleData, VersionRecordHasNineKeysInOrder) {
    const char* keys[] = {"CompanyName", "LegalCopyright", "ProductName", "FileName", "FileDescription",
                          "ProductVersion", "FileVersion", "InternalName", "Comments"};
    const char* const* record = getVersionRecord();
    for (size_t i = 0; i < 9; ++i) {
        ASSERT_NE(record[i], nullptr);
        EXPECT_EQ(std::string(record[i]).rfind(std::string("nKZVersion_") + keys[i] + "=", 0), 0u) << record[i];
    }
    EXPECT_EQ(record[9], nullptr);
}

TEST(ModuleData, ByteChecks) {
    EXPECT_TRUE(isByteZero(0x100));
    EXPECT_FALSE(isByteZero(0x101));
    EXPECT_TRUE(isByteAboveOne(0x02));
    EXPECT_FALSE(isByteAboveOne(0x301));
    EXPECT_EQ(passThroughU32(0xDEADBEEF), 0xDEADBEEFu);
}

}  // namespace
