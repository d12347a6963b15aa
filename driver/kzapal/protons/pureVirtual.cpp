// A call of a pure virtual function halts the machine. Weak, so that the debug reporter's trap,
// which prints the assertion line first, replaces it when it is linked in.
#include "kzkal/debug.h"

extern "C" __attribute__((weak)) void __cxa_pure_virtual() {
    nKZKAL250_halt("kzvorn_driver", __FILE__, __LINE__, "pure virtual function called");
}
