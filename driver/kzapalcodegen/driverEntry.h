// The module's entry point, its static initialisers and exit handlers, and the data the kernel
// layer reads from the module: the PCI ID table and the version record.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kzapal/protons/callbacks.h"
#include "kzapalcodegen/pciIdentifiers.h"
#include "kzkal/driver.h"

namespace kzvorn_driver {

// Builds a static object; one that must be destroyed at unload registers an exit handler.
using tStaticInitializer = void (*)();
// The module's table, in static-initialiser order (run last to first).
extern const tStaticInitializer kStaticInitializers[];
extern const size_t kStaticInitializerCount;

// A use counter guards both: the table runs only on the first use, the exit handlers only when
// the last use ends, most recently registered first.
void runStaticInitializers(const tStaticInitializer* table, size_t count);
void runExitHandlers();
// False when the node cannot be allocated: nothing is registered then.
bool registerExitHandler(void (*handler)(void* argument), void* argument);
uint32_t getModuleUseCount();

// The driver-operations record while the module is loaded, else null.
nKZKAL200_tDriverOperations* getDriverHandle();

const char* const* getVersionRecord();
uint32_t passThroughU32(uint32_t value);
bool isByteZero(uint32_t value);
bool isByteAboveOne(uint32_t value);

}  // namespace kzvorn_driver

extern "C" {
int32_t nKZAPAL200_driverEntry(nKZKAL200_tDriverOperations* record);
void nKZAPAL200_unloadDriver(nKZKAL200_tDriverOperations* record);
int32_t nKZAPAL200_addDevice(const nKZKAL200_tPCIDevice* pci, void* ignored, void** slot);
// Read by the kernel layer from the module's data.
extern char nKZAPAL200_pciIDTable[89];
}
