#include <cstdio>
#include <cstdlib>
#include <list>
#include <mutex>

#include "board/dmaEngine.h"
#include "board/hostAllocator.h"
#include "kal/sim/dma.h"
#include "kal/sim/clock.h"
#include "kal/sim/faults.h"
#include "kal/sim/interrupt.h"
#include "kal/sim/pci.h"
#include "kal/sim/registerMemory.h"
#include "kzkal/pci.h"

namespace {

struct Bus {
    std::mutex lock;
    std::list<kal::sim::PciFunction, board::HostAllocator<kal::sim::PciFunction>> functions;
    board::HostVector<board::PciBridge> topology;
};

Bus& bus() {
    static Bus instance;
    return instance;
}

board::Board& boardOf(void* pci) {
    if (pci == nullptr) {
        std::fprintf(stderr, "kal: PCI call with a null handle\n");
        std::abort();
    }
    return *static_cast<kal::sim::PciFunction*>(pci)->board;
}

int32_t failure(const char* name, int32_t usual) {
    int32_t code = 0;
    if (!kal::sim::shouldFail(name, &code)) return 0;
    return code != 0 ? code : usual;
}

constexpr uint64_t kBarIsMemory = 2;

// The interrupt each plugged board's interrupt sink delivers on: its line, or the vector granted
// since. A board may outlive its function and keep queuing; it then interrupts nobody.
struct Sinks {
    std::mutex lock;
    board::HostMap<const board::Board*, uint32_t> interrupts;
};
Sinks& sinks() {
    static Sinks instance;
    return instance;
}
void setSinkInterrupt(const board::Board& target, uint32_t interrupt) {
    std::lock_guard<std::mutex> guard(sinks().lock);
    sinks().interrupts[&target] = interrupt;
}
void forgetSink(const board::Board& target) {
    std::lock_guard<std::mutex> guard(sinks().lock);
    sinks().interrupts.erase(&target);
}
void sink(const board::Board& target) {
    std::lock_guard<std::mutex> guard(sinks().lock);
    auto it = sinks().interrupts.find(&target);
    if (it != sinks().interrupts.end()) kal::sim::postInterrupt(it->second);
}

}  // namespace

namespace kal::sim {

PciFunction& plugBoard(board::Board& target) {
    auto physical = attachBoard(target);
    // The board's delays run on the stand-in's clock.
    target.setTimeSource([] { return clock().nowUs(); });
    Bus& b = bus();
    std::lock_guard<std::mutex> guard(b.lock);
    b.functions.emplace_back();
    PciFunction& function = b.functions.back();
    const board::Identity& id = target.identity();
    function.board = &target;
    function.legacyInterrupt = id.interruptLine;
    target.setHostMemory(&hostMemoryPort());
    nKZKAL200_tPCIDevice& r = function.record;
    r.pciHandle = &function;
    r.deviceReference = &function.record;
    r.bus = id.bus;
    r.device = id.device;
    r.function = id.function;
    r.vendorId = id.vendorId;
    r.deviceId = id.deviceId;
    r.subsystemVendorId = id.subsystemVendorId;
    r.subsystemId = id.subsystemId;
    r.revision = id.revision;
    r.interrupt = id.interruptLine;
    for (int i = 0; i < board::kBarCount; ++i)
        if (target.hasBar(i)) r.bars[i] = {physical[i], target.bar(i).size(), kBarIsMemory};
    setSinkInterrupt(target, id.interruptLine);
    if (board::DmaEngine* engine = board::findDmaEngine(target)) engine->setInterruptSink([&target] { sink(target); });
    return function;
}

void unplugBoard(PciFunction& function) {
    forgetSink(*function.board);
    detachBoard(*function.board);
    Bus& b = bus();
    std::lock_guard<std::mutex> guard(b.lock);
    b.functions.remove_if([&](const PciFunction& f) { return &f == &function; });
}

void setPciTopology(const board::PciTopology& topology) {
    Bus& b = bus();
    std::lock_guard<std::mutex> guard(b.lock);
    b.topology.assign(topology.begin(), topology.end());
}

}  // namespace kal::sim

extern "C" int32_t nKZKAL100_pciConfigRead8(void* pci, uint32_t offset, uint8_t* value) {
    if (int32_t code = failure("pciConfigRead8", KZKAL_ERR_SOFTWARE_FAULT)) return code;
    *value = static_cast<uint8_t>(boardOf(pci).configRead(offset, 1));
    return 0;
}

extern "C" int32_t nKZKAL100_pciConfigRead16(void* pci, uint32_t offset, uint16_t* value) {
    if (int32_t code = failure("pciConfigRead16", KZKAL_ERR_SOFTWARE_FAULT)) return code;
    *value = static_cast<uint16_t>(boardOf(pci).configRead(offset, 2));
    return 0;
}

extern "C" int32_t nKZKAL100_pciConfigWrite16(void* pci, uint32_t offset, uint16_t value) {
    if (int32_t code = failure("pciConfigWrite16", KZKAL_ERR_SOFTWARE_FAULT)) return code;
    boardOf(pci).configWrite(offset, 2, value);
    return 0;
}

extern "C" int32_t nKZKAL240_getPCIDomain(void* pci) {
    if (int32_t code = failure("getPCIDomain", KZKAL_ERR_NOT_FOUND)) return code;
    return boardOf(pci).identity().domain;
}

extern "C" int32_t nKZKAL100_enumeratePCIBuses(nKZKAL100_tPCIBridgeCallback callback, void* context, uint32_t) {
    if (int32_t code = failure("enumeratePCIBuses", KZKAL_ERR_SOFTWARE_FAULT)) return code;
    board::HostVector<board::PciBridge> bridges;
    {
        Bus& b = bus();
        std::lock_guard<std::mutex> guard(b.lock);
        bridges = b.topology;
    }
    for (const board::PciBridge& bridge : bridges) {
        nKZKAL100_tPCIBridge record{};
        record.primaryBus = bridge.primaryBus;
        record.device = bridge.device;
        record.function = bridge.function;
        record.secondaryBus = bridge.secondaryBus;
        record.subordinateBus = bridge.subordinateBus;
        record.domain = bridge.domain;
        callback(context, &record);
    }
    return 0;
}

extern "C" int32_t nKZKAL1_getDeviceNUMANode(void* pci) { return boardOf(pci).platform().numaNode; }

extern "C" int32_t nKZKAL230_pciRequestMSI(void* pci, uint32_t count) {
    if (int32_t code = failure("pciRequestMSI", KZKAL_ERR_NOT_SUPPORTED)) return code;
    board::Board& target = boardOf(pci);
    if (!target.platform().msiGranted || count != 1) return KZKAL_ERR_NOT_SUPPORTED;
    static_cast<kal::sim::PciFunction*>(pci)->record.interrupt = target.platform().msiVector;
    setSinkInterrupt(target, target.platform().msiVector);
    return 0;
}

extern "C" int32_t nKZKAL220_pciSetDMAMask(void* pci, uint64_t mask) {
    if (int32_t code = failure("pciSetDMAMask", KZKAL_ERR_BAD_PARAMETER)) return code;
    if (mask > 0xFFFFFFFFull && !boardOf(pci).platform().dma64Accepted) return KZKAL_ERR_BAD_PARAMETER;
    static_cast<kal::sim::PciFunction*>(pci)->dmaMask = mask;
    return 0;
}
