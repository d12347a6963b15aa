// Debug output and halts of the kernel-layer stand-in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kal::sim {

std::vector<std::string> debugLines();
void clearDebugLines();
void setDebugEcho(bool echo);

// Called by nKZKAL250_halt; the default prints the message and aborts. halt never returns:
// when a handler returns, the process aborts.
using HaltHandler = void (*)(const char* component, const char* file, uint32_t line, const char* message);
void setHaltHandler(HaltHandler handler);

}  // namespace kal::sim
