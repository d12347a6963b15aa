#include "commandLine.h"

#include <cerrno>
#include <cstring>

#include <sys/stat.h>

#include "boardFaults.h"
#include "script.h"

namespace kzvornsim {

std::FILE* openScript(const char* name, std::FILE* err) {
    std::FILE* script = std::fopen(name, "r");
    if (script == nullptr) {
        std::fprintf(err, "kzvorn-sim: cannot read %s: %s\n", name, std::strerror(errno));
        return nullptr;
    }
    struct stat status {};
    if (fstat(fileno(script), &status) == 0 && S_ISDIR(status.st_mode)) {
        std::fprintf(err, "kzvorn-sim: %s is a directory, not a script\n", name);
        std::fclose(script);
        return nullptr;
    }
    return script;
}

void printUsage(std::FILE* out, bool full) {
    std::fprintf(out,
                 "usage: kzvorn-sim [--debug] [--help] [--msi] [--fault NAME[=VALUE]]... [--raise BLOCK:ID]...\n"
                 "                  [--kal-fail NAME[:NTH[:COUNT]]]... [--kal-fail-allocation N] [--fake-from N[-M]]\n"
                 "                  [--sgl-split page|runs|random] [SCRIPT | -]\n");
    if (!full) return;
    std::fprintf(out,
                 "\n"
                 "Loads the driver, adds a simulated board (the bring-up runs as far as the driver can take\n"
                 "it), prints what the device published and the level it reached, sends the script's requests\n"
                 "through a session on \"smu_kzvorn\", then removes the board and unloads. The script is the\n"
                 "file, or standard input with \"-\" or when standard input is not a terminal.\n"
                 "\n"
                 "  --debug                       echo the driver's debug print\n"
                 "  --help                        print this text\n"
                 "  --msi                         the board offers a message-signalled interrupt\n"
                 "  --fault NAME[=VALUE]          set one of the board's fault knobs (repeatable):\n");
    BoardFaults::list(out);
    std::fprintf(out,
                 "  --raise BLOCK:ID              error source ID of BLOCK (niso, iso, ch0 to ch3) turns active\n"
                 "                                when the board starts (repeatable)\n"
                 "  --fake-from N[-M]             setup levels N to 22 (or to M) and, without M, the step after\n"
                 "                                level 22 succeed without building anything, so requests gated\n"
                 "                                above the reached level can be tried; the summary says so\n"
                 "  --kal-fail NAME[:NTH[:COUNT]] make the kernel-layer call NAME (without its nKZKAL prefix)\n"
                 "                                fail from its NTH call on, COUNT times (both 1 by default;\n"
                 "                                repeatable)\n"
                 "  --kal-fail-allocation N       the Nth allocation from add device on fails (N at least 1):\n"
                 "                                watch what the failure does to the bring-up\n"
                 "  --sgl-split page|runs|random  how the stand-in's IOMMU cuts a DMA mapping into bus segments:\n"
                 "                                one per page (the default), runs of up to 16 pages, or random\n"
                 "                                cuts at page boundaries\n"
                 "\n");
    printScriptRequests(out);
}

}  // namespace kzvornsim
