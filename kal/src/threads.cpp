#include <pthread.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "kal/sim/faults.h"
#include "kal/sim/threads.h"
#include "kzkal/thread.h"

namespace {

// Linux keeps 15 characters of a thread's name.
constexpr size_t kThreadNameSize = 16;

std::atomic<int64_t> gLiveThreads{0};

// Kept out of the driver's allocator, like the rest of the stand-in's objects.
struct KernelThread {
    pthread_t thread;
    nKZKAL250_tThreadEntry entry;
    void* argument;
    char name[kThreadNameSize];
};

void* runThread(void* context) {
    auto* kernelThread = static_cast<KernelThread*>(context);
    kal::sim::setCurrentThreadName(kernelThread->name);
    kernelThread->entry(kernelThread->argument);
    return nullptr;
}

}  // namespace

extern "C" int32_t nKZKAL250_createNamedThread(nKZKAL250_tThreadStart* start, const char* name) {
    if (start == nullptr || start->entry == nullptr) return KZKAL_ERR_BAD_PARAMETER;
    int32_t code = 0;
    if (kal::sim::shouldFail("createNamedThread", &code)) return code != 0 ? code : KZKAL_ERR_SOFTWARE_FAULT;
    auto* kernelThread = static_cast<KernelThread*>(std::calloc(1, sizeof(KernelThread)));
    if (kernelThread == nullptr) return KZKAL_ERR_MEMORY_FULL;
    kernelThread->entry = start->entry;
    kernelThread->argument = start->argument;
    std::strncpy(kernelThread->name, name != nullptr ? name : "", kThreadNameSize - 1);
    if (pthread_create(&kernelThread->thread, nullptr, runThread, kernelThread) != 0) {
        std::free(kernelThread);
        return KZKAL_ERR_SOFTWARE_FAULT;
    }
    gLiveThreads.fetch_add(1);
    start->handle = kernelThread;
    return KZKAL_OK;
}

extern "C" int32_t nKZKAL200_joinThread(nKZKAL250_tThreadStart* start) {
    if (start == nullptr || start->handle == nullptr) return KZKAL_ERR_BAD_PARAMETER;
    auto* kernelThread = static_cast<KernelThread*>(start->handle);
    pthread_join(kernelThread->thread, nullptr);
    std::free(kernelThread);
    start->handle = nullptr;
    gLiveThreads.fetch_sub(1);
    return KZKAL_OK;
}

namespace kal::sim {

int64_t liveThreads() { return gLiveThreads.load(); }

}  // namespace kal::sim
