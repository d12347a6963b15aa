// The runtime's trap for a call through a pure virtual slot (an object used during its
// construction or after its destruction): report and halt.
#include "kzsdbg/kzsdbg.h"

namespace {

constexpr kzsdbg_Location kTrapLocation = {"kzsdbg/pureVirtualTrap.cpp", 348};

}  // namespace

extern "C" [[noreturn]] void __cxa_pure_virtual() {
    kzsdbg_printf("[%s|%s|%d] !!ASSERT!!\n", "kzvorn_driver", kTrapLocation.file, kTrapLocation.line);
    kzsdbg_printf("BUG: A call to a pure virtual function was made!\n");
    kzsdbg_configuration.halt(&kTrapLocation, "ASSERT");
    for (;;) asm volatile("" ::: "memory");
}
