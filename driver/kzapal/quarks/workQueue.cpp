#include "kzapal/quarks/workQueue.h"

extern "C" int32_t nKZAPAL200_linuxKThreadMain(void* startRecord) {
    auto* record = static_cast<kzvorn_driver::nKZAPAL000::tThreadStartRecord*>(startRecord);
    record->function(record->argument);
    return 0;
}
