#include <pthread.h>

#include <atomic>
#include <string>
#include <thread>

#include "kal/sim/faults.h"
#include "kal/sim/threads.h"
#include "kzkal/thread.h"

namespace {

// Linux keeps 15 characters of a thread's name.
constexpr size_t kThreadNameLength = 15;

std::atomic<int64_t> gLiveThreads{0};

struct KernelThread {
    std::thread thread;
};

}  // namespace

extern "C" int32_t nKZKAL250_createNamedThread(nKZKAL250_tThreadStart* start, const char* name) {
    if (start == nullptr || start->entry == nullptr) return KZKAL_ERR_BAD_PARAMETER;
    int32_t code = 0;
    if (kal::sim::shouldFail("createNamedThread", &code)) return code != 0 ? code : KZKAL_ERR_SOFTWARE_FAULT;
    const nKZKAL250_tThreadEntry entry = start->entry;
    void* const argument = start->argument;
    const std::string threadName = std::string(name != nullptr ? name : "").substr(0, kThreadNameLength);
    auto* kernelThread = new KernelThread();
    kernelThread->thread = std::thread([entry, argument, threadName] {
        pthread_setname_np(pthread_self(), threadName.c_str());
        entry(argument);
    });
    gLiveThreads.fetch_add(1);
    start->handle = kernelThread;
    return KZKAL_OK;
}

extern "C" int32_t nKZKAL200_joinThread(nKZKAL250_tThreadStart* start) {
    if (start == nullptr || start->handle == nullptr) return KZKAL_ERR_BAD_PARAMETER;
    auto* kernelThread = static_cast<KernelThread*>(start->handle);
    kernelThread->thread.join();
    delete kernelThread;
    start->handle = nullptr;
    gLiveThreads.fetch_sub(1);
    return KZKAL_OK;
}

namespace kal::sim {

int64_t liveThreads() { return gLiveThreads.load(); }

}  // namespace kal::sim
