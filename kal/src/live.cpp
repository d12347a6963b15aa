#include <string>

#include "kal/sim/dma.h"
#include "kal/sim/faults.h"
#include "kal/sim/interrupt.h"
#include "kal/sim/publication.h"
#include "kal/sim/registerMemory.h"
#include "kal/sim/sync.h"
#include "kal/sim/threads.h"
#include "kal/sim/user.h"

namespace kal::sim {

bool LiveObjects::operator==(const LiveObjects& o) const {
    return allocations == o.allocations && mutexes == o.mutexes && spinLocks == o.spinLocks && threads == o.threads &&
           deferredCalls == o.deferredCalls && mappings == o.mappings && socketBuffers == o.socketBuffers &&
           interfaces == o.interfaces && properties == o.properties && interrupts == o.interrupts &&
           pageLists == o.pageLists && pinnedPageLists == o.pinnedPageLists &&
           scatterGatherLists == o.scatterGatherLists && driverRegistered == o.driverRegistered;
}

// Counted without allocating, so that a count taken while allocations fail holds.
LiveObjects liveObjects() {
    LiveObjects live{};
    live.allocations = liveAllocations();
    live.mutexes = liveMutexes();
    live.spinLocks = liveSpinLocks();
    live.threads = liveThreads();
    live.deferredCalls = liveDeferredCalls();
    live.mappings = liveMappings();
    live.socketBuffers = liveSocketBuffers();
    live.interfaces = liveInterfaceCount();
    live.properties = livePropertyCount();
    live.interrupts = reservedInterruptCount();
    live.pageLists = livePageLists(false);
    live.pinnedPageLists = livePageLists(true);
    live.scatterGatherLists = liveSGLs();
    live.driverRegistered = registeredDriver() != nullptr;
    return live;
}

std::string describe(const LiveObjects& l) {
    return "allocations " + std::to_string(l.allocations) + ", mutexes " + std::to_string(l.mutexes) +
           ", spin locks " + std::to_string(l.spinLocks) + ", threads " + std::to_string(l.threads) +
           ", deferred calls " + std::to_string(l.deferredCalls) + ", mappings " + std::to_string(l.mappings) +
           ", socket buffers " + std::to_string(l.socketBuffers) + ", interfaces " + std::to_string(l.interfaces) +
           ", properties " + std::to_string(l.properties) + ", interrupts " + std::to_string(l.interrupts) +
           ", page lists " + std::to_string(l.pageLists) + ", pinned page lists " + std::to_string(l.pinnedPageLists) +
           ", scatter-gather lists " + std::to_string(l.scatterGatherLists) +
           ", driver " + (l.driverRegistered ? "registered" : "not registered");
}

}  // namespace kal::sim
