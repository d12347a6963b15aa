// The request path and a register write by name, through the ioctl envelope on a device at the
// highest level: the setup-level query (envelope copy in, decode, unmarshalling, gate, body, copy
// out), arm_write of a bridge DMA-channel register by map name and field identifier, and the
// register-map registry's name lookup alone.
#include <cstring>
#include <string>

#include "benchDevice.h"
#include "benchSupport.h"
#include "device/tolvaneHelper.h"
#include "kal/sim/faults.h"
#include "kzapalcodegen/ioctlRecords.h"

namespace {

using namespace kzvorn_driver;
using nKZAPALS100::tStatus;

constexpr uint32_t kGetSetupLevel = 0x00202B00;
constexpr uint32_t kArmWrite = 0x00208100;
constexpr const char* kChannelMap = "QuolinDMAChannel3_Ver23.3.0f121";
constexpr uint32_t kChannelField = 0x58;

bench::BenchDevice& device() {
    static bench::BenchDevice device(bench::highestLevelPlan());
    return device;
}

bool setupLevel() {
    tStatusRecord input{};
    tValue32Record output{};
    return device().request(kGetSetupLevel, input, output) && output.value == kzvorn_shared::SetupLevel::kHighest;
}

// The name as user mode holds it: caller's memory for as long as the program runs.
struct CallerName {
    CallerName() : memory(text.data(), text.size()) {}
    std::string text = kChannelMap;
    kal::sim::UserMemory memory;
};

bool armWrite() {
    static CallerName name;
    tFieldWriteRecord input{};
    input.name = reinterpret_cast<uint64_t>(name.text.data());
    input.nameLength = name.text.size();
    input.field = kChannelField;
    input.value = 1;
    tStatusRecord output{};
    return device().request(kArmWrite, input, output);
}

bool nameLookup() {
    armki::ARMDispatcher& registry = *device().device()->getHelper()->getARMDispatcher();
    tStatus status;
    arm::DynamicAccessInterfaceBase<tStatus>* map = nullptr;
    kzregitools::tMutex* lock = nullptr;
    registry.getRegistration(kChannelMap, map, status, &lock);
    return status.isNotFatal() && map != nullptr;
}

// Whether the operation succeeds with every allocation of the kernel layer failing.
bool allocatesNothing(bool (*operation)()) {
    kal::sim::FailAllocations everyAllocation(1, true);
    return operation() && !everyAllocation.triggered();
}

}  // namespace

int main(int argc, char** argv) {
    if (!device().ok() || device().level() != kzvorn_shared::SetupLevel::kHighest) {
        std::fprintf(stderr, "request-bench: the device did not reach the highest level\n");
        return 1;
    }
    if (bench::underValgrind()) {
        const bool ok = bench::countInstructions("request-path", 1000, setupLevel) &&
                        bench::countInstructions("arm-write-by-name", 1000, armWrite) &&
                        bench::countInstructions("name-lookup", 1000, nameLookup);
        return ok ? 0 : 1;
    }
    bench::Runner runner(argc, argv, "request-bench");
    const double request = runner.time("setup-level query", setupLevel);
    const double write = runner.time("arm_write by name", armWrite);
    const double lookup = runner.time("name lookup", nameLookup);
    std::printf("median: setup-level query %.1f ns, arm_write by name %.1f ns, name lookup alone %.1f ns\n", request,
                write, lookup);
    bench::printCountGoal("request path (setup-level query)", "at most 300 driver instructions");
    std::printf("goal: request path without an allocation per request: %s\n",
                allocatesNothing(setupLevel) ? "met" : "missed");
    bench::printCountGoal("arm_write by map name and field identifier",
                          "at most 1000 driver instructions, the name lookup at most a third of them");
    return runner.exitCode();
}
