#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "board/hostAllocator.h"
#include "kal/sim/debug.h"
#include "kzkal/debug.h"

namespace {

std::mutex gLock;
// Printed from the driver's threads, also while their allocations are made to fail.
board::HostVector<board::HostString> gLines;
bool gEcho = false;
kal::sim::HaltHandler gHaltHandler = nullptr;

}  // namespace

extern "C" void nKZKAL100_printToDebugger(const char* line) {
    std::lock_guard<std::mutex> guard(gLock);
    gLines.emplace_back(line != nullptr ? line : "");
    if (gEcho) std::fprintf(stderr, "%s", line != nullptr ? line : "");
}

extern "C" int32_t nKZKAL100_vsnPrintf(char* buffer, size_t size, const char* format, va_list arguments) {
    return std::vsnprintf(buffer, size, format, arguments);
}

extern "C" void nKZKAL250_halt(const char* component, const char* file, uint32_t line, const char* message) {
    kal::sim::HaltHandler handler;
    {
        std::lock_guard<std::mutex> guard(gLock);
        handler = gHaltHandler;
    }
    if (handler != nullptr) handler(component, file, line, message);
    std::fprintf(stderr, "halt: [%s|%s|%u] %s\n", component ? component : "", file ? file : "", line,
                 message ? message : "");
    std::abort();
}

namespace kal::sim {

std::vector<std::string> debugLines() {
    std::lock_guard<std::mutex> guard(gLock);
    std::vector<std::string> lines;
    for (const board::HostString& line : gLines) lines.emplace_back(line.c_str());
    return lines;
}

void clearDebugLines() {
    std::lock_guard<std::mutex> guard(gLock);
    gLines.clear();
}

void setDebugEcho(bool echo) {
    std::lock_guard<std::mutex> guard(gLock);
    gEcho = echo;
}

void setHaltHandler(HaltHandler handler) {
    std::lock_guard<std::mutex> guard(gLock);
    gHaltHandler = handler;
}

}  // namespace kal::sim
