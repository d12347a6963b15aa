// Loads the driver, adds a simulated product board through the kernel's add-device callback
// (which starts it: the bring-up runs as far as the driver can take it), prints what the device
// published and how far it came, runs a script of requests when it has one (script.h), and
// unloads.
//
//   kzvorn-sim [--debug] [--help] [--msi] [--fault NAME[=VALUE]]... [--raise BLOCK:ID]...
//              [--kal-fail NAME[:NTH[:COUNT]]]... [--kal-fail-allocation N] [--fake-from N[-M]]
//              [--sgl-split page|runs|random] [SCRIPT | -]
//
// printUsage (commandLine.h) describes the options; --help prints it. The script comes from the
// file, or from standard input with "-" or when standard input is not a terminal.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include "board/product.h"
#include "boardCommands.h"
#include "boardFaults.h"
#include "device/tolvaneDevice.h"
#include "kal/sim/debug.h"
#include "kal/sim/dma.h"
#include "kal/sim/faults.h"
#include "kal/sim/harness.h"
#include "kal/sim/publication.h"
#include "commandLine.h"
#include "script.h"

using kzvorn_driver::nKZAPAL000::tProperty;

namespace {

void printProperties(const char* scope, tProperty** list) {
    for (; list != nullptr && *list != nullptr; ++list) {
        const tProperty& p = **list;
        if (p.type == tProperty::kTypeText) {
            std::printf("%s property %s = \"%s\"\n", scope, p.name, p.value.text != nullptr ? p.value.text : "");
        } else if (p.type == tProperty::kTypeBlock) {
            std::printf("%s property %s = (%llu bytes)\n", scope, p.name,
                        static_cast<unsigned long long>(p.value.number));
        } else if (p.type == tProperty::kTypeNumber32) {
            std::printf("%s property %s = %d\n", scope, p.name, static_cast<int32_t>(p.value.number));
        } else if (p.type == tProperty::kTypeNumber64) {
            std::printf("%s property %s = %lld\n", scope, p.name, static_cast<long long>(p.value.number));
        } else {
            std::printf("%s property %s = 0x%llX\n", scope, p.name, static_cast<unsigned long long>(p.value.number));
        }
    }
}

// One line per registry: its names in registration order.
template <class Registry>
void printNames(const char* what, const Registry* registry) {
    if (registry == nullptr) return;
    kzhtl::String list;
    nKZAPALS100::tStatus status;
    registry->getRegistrationList(list, status);
    std::printf("%s: %s\n", what, status.isSuccess() ? list.c_str() : "(unavailable)");
}

int usage() {
    kzvornsim::printUsage(stderr, false);
    return 2;
}

// NAME[:NTH[:COUNT]], both numbers at least 1.
bool addKernelCallFailure(const std::string& text, std::vector<std::unique_ptr<kal::sim::FailKernelCall>>& failures) {
    const size_t first = text.find(':');
    const std::string name = text.substr(0, first);
    uint64_t numbers[2] = {1, 1};
    size_t at = first;
    for (uint64_t& number : numbers) {
        if (at == std::string::npos) break;
        const size_t end = text.find(':', at + 1);
        const std::string word = text.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
        if (!kzvornsim::parseNumber(word, UINT64_MAX, number) || number == 0) return false;
        at = end;
    }
    if (name.empty() || at != std::string::npos) return false;
    failures.push_back(std::make_unique<kal::sim::FailKernelCall>(name, numbers[0], numbers[1]));
    return true;
}

// N or N-M, levels 1 to 22: the bring-up's steps of those levels become succeeding stand-ins, and
// with N alone the step after level 22 too. The two steps that complete no level stay real unless
// what they work on is faked: the disabled-error step level 5's controllers, the step after level
// 22 level 3's calibration records or level 11's controllers.
bool fakeLevels(const std::string& text, kzvorn_driver::BringUpPlan& plan, std::string& banner) {
    const size_t dash = text.find('-');
    uint64_t first = 0, last = kzvorn_shared::SetupLevel::kHighest;
    if (!kzvornsim::parseNumber(text.substr(0, dash), kzvorn_shared::SetupLevel::kHighest, first) || first == 0)
        return false;
    if (dash != std::string::npos &&
        (!kzvornsim::parseNumber(text.substr(dash + 1), kzvorn_shared::SetupLevel::kHighest, last) || last < first))
        return false;
    for (const kzvorn_driver::BringUpStepRow& row : kzvorn_driver::kBringUpSteps) {
        const bool inRange = row.level != kzvorn_driver::kNoLevel && row.level >= int64_t(first) && row.level <= int64_t(last);
        const bool afterHighest = dash == std::string::npos && row.step == kzvorn_driver::kStepChargeBalanceOffset;
        auto faked = [&](uint64_t level) { return first <= level && level <= last; };
        const bool withoutItsObjects = (row.step == kzvorn_driver::kStepDisabledErrors && faked(5)) ||
                                       (row.step == kzvorn_driver::kStepChargeBalanceOffset && (faked(3) || faked(11)));
        if (inRange || afterHighest || withoutItsObjects) plan.fake(row.step, kzvorn_driver::BringUpPlan::kSucceed);
    }
    banner = " (levels " + std::to_string(first) + " to " + std::to_string(last) + " faked" +
             (dash == std::string::npos ? ", and the step after level 22)" : ")");
    return true;
}

// BLOCK:ID, an error source raised on the block when the board starts.
bool addRaise(const std::string& text, std::vector<kzvornsim::BlockError>& raised) {
    kzvornsim::BlockError error{};
    if (!kzvornsim::parseBlockError(text, false, error)) return false;
    raised.push_back(error);
    return true;
}

bool chooseSGLSplit(const std::string& text) {
    constexpr struct {
        const char* name;
        kal::sim::SGLSplit split;
    } kSplits[] = {{"page", kal::sim::SGLSplit::Page},
                   {"runs", kal::sim::SGLSplit::Runs},
                   {"random", kal::sim::SGLSplit::Random}};
    for (const auto& choice : kSplits)
        if (text == choice.name) {
            kal::sim::setSGLSplit(choice.split);
            return true;
        }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    const char* scriptName = nullptr;
    kzvornsim::BoardFaults faults;
    bool msi = false;
    // Outlives the device, which keeps it.
    kzvorn_driver::BringUpPlan plan;
    std::string fakedBanner;
    std::vector<kzvornsim::BlockError> raised;
    // Live until the driver is unloaded.
    std::vector<std::unique_ptr<kal::sim::FailKernelCall>> kernelCallFailures;
    uint64_t failedAllocation = 0;  // 0: none
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--debug") == 0) {
            kal::sim::setDebugEcho(true);
        } else if (std::strcmp(argv[i], "--help") == 0) {
            kzvornsim::printUsage(stdout, true);
            return 0;
        } else if (std::strcmp(argv[i], "--msi") == 0) {
            msi = true;
        } else if (std::strcmp(argv[i], "--fault") == 0) {
            std::string why;
            if (i + 1 == argc) return usage();
            if (!faults.add(argv[++i], why)) {
                std::fprintf(stderr, "kzvorn-sim: --fault %s: %s; the faults are:\n", argv[i], why.c_str());
                kzvornsim::BoardFaults::list(stderr);
                return 2;
            }
        } else if (std::strcmp(argv[i], "--kal-fail") == 0 && i + 1 < argc) {
            if (!addKernelCallFailure(argv[++i], kernelCallFailures)) return usage();
        } else if (std::strcmp(argv[i], "--kal-fail-allocation") == 0 && i + 1 < argc) {
            if (!kzvornsim::parseNumber(argv[++i], UINT64_MAX, failedAllocation) || failedAllocation == 0)
                return usage();
        } else if (std::strcmp(argv[i], "--fake-from") == 0 && i + 1 < argc) {
            if (!fakeLevels(argv[++i], plan, fakedBanner)) return usage();
        } else if (std::strcmp(argv[i], "--raise") == 0 && i + 1 < argc) {
            if (!addRaise(argv[++i], raised)) return usage();
        } else if (std::strcmp(argv[i], "--sgl-split") == 0 && i + 1 < argc) {
            if (!chooseSGLSplit(argv[++i])) return usage();
        } else if (scriptName == nullptr) {
            scriptName = argv[i];
        } else {
            return usage();
        }
    }
    std::FILE* script = nullptr;
    if (scriptName != nullptr && std::strcmp(scriptName, "-") != 0) {
        script = kzvornsim::openScript(scriptName, stderr);
        if (script == nullptr) return 1;
    } else if (scriptName != nullptr || isatty(STDIN_FILENO) == 0) {
        script = stdin;
    }

    board::Board board(board::productIdentity());
    // Nothing here shows the board's access log: a run need not keep every access.
    board.log().setEnabled(false);
    board.platform().msiGranted = msi;
    board::ProductOptions options;
    faults.apply(options);
    board::ProductBlocks blocks = board::installProduct(board, options);
    faults.apply(blocks);
    for (const kzvornsim::BlockError& e : raised) blocks.nonIsolatedFpga.raiseError(e.block, e.id);
    int result = 0;
    {
        kal::sim::Kernel kernel;
        if (kernel.load() != 0) {
            std::fprintf(stderr, "kzvorn-sim: the driver did not load\n");
            return 1;
        }
        kal::sim::PciFunction& function = kernel.plug(board);
        kzvorn_driver::TolvaneDevice::setBringUpPlan(fakedBanner.empty() ? nullptr : &plan);
        int32_t added;
        {
            // Add device and the bring-up it starts run on this thread; the script's requests
            // allocate freely.
            std::optional<kal::sim::FailAllocations> failAllocation;
            if (failedAllocation != 0) failAllocation.emplace(failedAllocation);
            added = kernel.addDevice(function);
        }
        if (added != 0) {
            std::printf("add device: %d\n", added);
            result = 1;
        } else {
            auto* device = static_cast<kzvorn_driver::TolvaneDevice*>(
                static_cast<kzvorn_driver::nKZAPAL000::tDevice*>(kernel.device(function)));
            for (const auto& interface : kal::sim::interfaces())
                if (interface.live) std::printf("interface %s\n", interface.name.c_str());
            printProperties("device", device->getDeviceProperties());
            printProperties("bus", device->getBusProperties());
            if (const kzvorn_driver::TolvaneHelper* helper = device->getHelper()) {
                printNames("register maps", helper->getARMDispatcher());
                printNames("device windows", helper->getDeviceWindowDispatcher());
                printNames("storage maps", helper->getStorageMapDispatcher());
            }
            const kzvorn_driver::SetupTracker& tracker = device->getSetupTracker();
            std::printf("reached level: %d (target %d), status: %s%s\n", tracker.reached, tracker.target,
                        kzvornsim::statusText(tracker.status.code).c_str(), fakedBanner.c_str());
            if (script != nullptr && !kzvornsim::runScript(kernel, script, stdout, &blocks)) result = 1;
        }
    }  // removes the device and unloads the driver
    if (script != nullptr && script != stdin) std::fclose(script);
    return result;
}
