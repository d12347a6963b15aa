// The module's static objects, built by the driver entry from the last entry to the first.
#include "kzapalcodegen/driverEntry.h"

namespace kzvorn_driver {

const tStaticInitializer kStaticInitializers[] = {
    nullptr,  // keeps the table non-empty
};
const size_t kStaticInitializerCount = sizeof(kStaticInitializers) / sizeof(kStaticInitializers[0]);

}  // namespace kzvorn_driver
