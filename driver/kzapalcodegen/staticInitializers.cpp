// The module's static objects, built by the driver entry from the last entry to the first; each
// registers its destruction as an exit handler, so unload destroys them in reverse.
#include "kzapal/quarks/trace.h"
#include "kzapalcodegen/driverEntry.h"

namespace kzvorn_driver {

namespace {

using namespace nKZAPAL000;

void buildConsoleTraceDestination() {
    constructConsoleTraceDestination();
    registerExitHandler([](void*) { destroyConsoleTraceDestination(); }, nullptr);
}

void buildGlobalTrace() {
    constructGlobalTrace();
    registerExitHandler([](void*) { destroyGlobalTrace(); }, nullptr);
}

}  // namespace

const tStaticInitializer kStaticInitializers[] = {
    buildGlobalTrace,
    buildConsoleTraceDestination,  // runs first: the trace writes to it
};
const size_t kStaticInitializerCount = sizeof(kStaticInitializers) / sizeof(kStaticInitializers[0]);

}  // namespace kzvorn_driver
