#include "kzapalcodegen/driverEntry.h"

#include <new>

#include "kzapal/protons/callbacks.h"
#include "kzapal/protons/memory.h"

namespace kzvorn_driver {

namespace {

struct tExitHandler {
    tExitHandler* next;
    void (*handler)(void*);
    void* argument;
};

// Plain data, so the module needs no constructors of its own to start.
uint32_t gUseCount = 0;
tExitHandler* gExitHandlers = nullptr;
nKZKAL200_tDriverOperations* gDriverHandle = nullptr;

constexpr const char* kDriverName = "kzvorn_driver";

constexpr const char* kVersionRecord[] = {
    "nKZVersion_CompanyName=Kazmerion",
    "nKZVersion_LegalCopyright=Copyright (c) Kazmerion. All rights reserved.",
    "nKZVersion_ProductName=kzvorn source-measure unit driver",
    "nKZVersion_FileName=kzvorn_driver.o",
    "nKZVersion_FileDescription=kzvorn kernel-mode core",
    "nKZVersion_ProductVersion=1.0.0f0",
    "nKZVersion_FileVersion=1.0.0f0",
    "nKZVersion_InternalName=kzvorn_driver",
    "nKZVersion_Comments=Four-channel PXI Express source-measure unit",
    nullptr,
};

}  // namespace

void runStaticInitializers(const tStaticInitializer* table, size_t count) {
    if (gUseCount++ != 0) return;
    while (count-- > 0)
        if (table[count] != nullptr) table[count]();
}

void runExitHandlers() {
    if (gUseCount == 0 || --gUseCount != 0) return;
    while (gExitHandlers != nullptr) {
        tExitHandler* node = gExitHandlers;
        gExitHandlers = node->next;
        void (*handler)(void*) = node->handler;
        void* argument = node->argument;
        delete node;
        handler(argument);
    }
}

bool registerExitHandler(void (*handler)(void*), void* argument) {
    nKZAPALS100::tStatus status;
    auto* node = new (status) tExitHandler{gExitHandlers, handler, argument};
    if (node == nullptr) return false;
    gExitHandlers = node;
    return true;
}

uint32_t getModuleUseCount() { return gUseCount; }

nKZKAL200_tDriverOperations* getDriverHandle() { return gDriverHandle; }

const char* const* getVersionRecord() { return kVersionRecord; }

uint32_t passThroughU32(uint32_t value) { return value; }

bool isByteZero(uint32_t value) { return (value & 0xFF) == 0; }

bool isByteAboveOne(uint32_t value) { return (value & 0xFF) > 1; }

}  // namespace kzvorn_driver

char nKZAPAL200_pciIDTable[] =
    "nKZKAL200_beginPCIIDTable\n"
    "0x1A2B 0x7C01 0x1A2B 0x7E42 none none\n"
    "nKZKAL200_endPCIIDTable\n";
static_assert(sizeof(nKZAPAL200_pciIDTable) == 89, "the PCI ID table block is 89 bytes");

extern "C" int32_t nKZAPAL200_driverEntry(nKZKAL200_tDriverOperations* record) {
    using namespace kzvorn_driver;
    runStaticInitializers(kStaticInitializers, kStaticInitializerCount);
    record->name = kDriverName;
    record->open = nKZAPAL200_open;
    record->close = nKZAPAL200_close;
    record->read = nKZAPAL200_read;
    record->write = nKZAPAL200_write;
    record->ioctl = nKZAPAL200_ioctl;
    record->unload = nKZAPAL200_unloadDriver;
    record->addDevice = nKZAPAL200_addDevice;
    record->removeDevice = nKZAPAL200_removeDevice;
    record->mapMemory = nKZAPAL200_mapMemory;
    record->unmapMemory = nKZAPAL200_unmapMemory;
    record->deleteDevice = nKZAPAL200_deleteDevice;
    gDriverHandle = record;
    const int32_t result = nKZKAL200_registerDriver(record);
    if (result < 0) {
        gDriverHandle = nullptr;
        runExitHandlers();
    }
    return result;
}

extern "C" void nKZAPAL200_unloadDriver(nKZKAL200_tDriverOperations* record) {
    nKZKAL200_unregisterDriver(record);
    kzvorn_driver::gDriverHandle = nullptr;
    kzvorn_driver::runExitHandlers();
}
