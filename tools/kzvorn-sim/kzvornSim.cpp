// Loads the driver, adds a simulated product board through the kernel's add-device callback
// (which starts it: the bring-up runs as far as the driver can take it), prints what the device
// published and how far it came, runs a script of requests when it has one (script.h), and
// unloads.
//
//   kzvorn-sim [--debug] [--help] [SCRIPT | -]
//
// --debug echoes the driver's debug print; --help prints the usage and the script's requests. The
// script comes from the file, or from standard input with "-" or when standard input is not a
// terminal.
#include <cstdio>
#include <cstring>
#include <string>

#include <unistd.h>

#include "board/product.h"
#include "device/tolvaneDevice.h"
#include "kal/sim/debug.h"
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

}  // namespace

int main(int argc, char** argv) {
    const char* scriptName = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--debug") == 0) {
            kal::sim::setDebugEcho(true);
        } else if (std::strcmp(argv[i], "--help") == 0) {
            kzvornsim::printUsage(stdout, true);
            return 0;
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
    board::installProduct(board);
    int result = 0;
    {
        kal::sim::Kernel kernel;
        if (kernel.load() != 0) {
            std::fprintf(stderr, "kzvorn-sim: the driver did not load\n");
            return 1;
        }
        kal::sim::PciFunction& function = kernel.plug(board);
        const int32_t added = kernel.addDevice(function);
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
            std::printf("reached level: %d (target %d), status: %lld\n", tracker.reached, tracker.target,
                        static_cast<long long>(tracker.status.code));
            if (script != nullptr && !kzvornsim::runScript(kernel, script, stdout)) result = 1;
        }
    }  // removes the device and unloads the driver
    if (script != nullptr && script != stdin) std::fclose(script);
    return result;
}
