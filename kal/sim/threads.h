// Kernel threads of the stand-in, as tests see them.
#pragma once

#include <cstdint>

namespace kal::sim {

// Threads made by nKZKAL250_createNamedThread and not yet joined. Creation fails through
// FailKernelCall("createNamedThread") (kal/sim/faults.h).
int64_t liveThreads();

}  // namespace kal::sim
