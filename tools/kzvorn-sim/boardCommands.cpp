#include "boardCommands.h"

#include <sstream>

namespace kzvornsim {

namespace {

using Port = board::FpgaConfigurationPort;

const char* verdictText(Port::Verdict verdict) {
    switch (verdict) {
        case Port::Verdict::kLoading: return "loading";
        case Port::Verdict::kConfigured: return "configured";
        case Port::Verdict::kRejected: return "rejected";
        case Port::Verdict::kStalled: return "stalled";
        case Port::Verdict::kFailed: return "failed";
    }
    return "?";
}

void fpga(board::ProductBlocks& board, std::FILE* out) {
    std::fprintf(out, "board.fpga:\n");
    const char* names[] = {"non-isolated", "isolated"};
    for (unsigned i : {board::kNonIsolatedFpga, board::kIsolatedFpga}) {
        const Port::Fpga state = board.fpgaPort.fpga(i);
        if (state.configured)
            std::fprintf(out, "  %s FPGA: configured, signature 0x%08X\n", names[i], state.signature);
        else
            std::fprintf(out, "  %s FPGA: not configured\n", names[i]);
    }
    const std::vector<Port::Load> loads = board.fpgaPort.loads();
    if (loads.empty()) {
        std::fprintf(out, "  last load: none\n");
        return;
    }
    const Port::Load& load = loads.back();
    std::fprintf(out,
                 "  last load: port %u, size %u, 64-bit stores %llu, byte writes %llu, status reads %zu, "
                 "received %llu, CRC-32 0x%08X, %s",
                 load.port, load.size, static_cast<unsigned long long>(load.stores64),
                 static_cast<unsigned long long>(load.byteWrites), load.statusReadsAfter.size(),
                 static_cast<unsigned long long>(load.received), load.crc, verdictText(load.verdict));
    if (load.verdict == Port::Verdict::kRejected) std::fprintf(out, " (%s)", board::toText(load.fault));
    std::fprintf(out, "\n");
}

struct BoardCommand {
    const char* name;
    const char* what;
    void (*run)(board::ProductBlocks&, std::FILE*);
};

constexpr BoardCommand kBoardCommands[] = {
    {"board.fpga",
     "each FPGA configured or not, with its signature; then the configuration port's last load:\n"
     "port, size, 64-bit stores, byte writes, status reads, bytes received, their CRC-32, verdict",
     fpga},
};

}  // namespace

bool runBoardCommand(const std::string& command, const std::vector<std::string>& arguments,
                     board::ProductBlocks& board, std::FILE* out) {
    for (const BoardCommand& c : kBoardCommands)
        if (command == c.name && arguments.empty()) {
            c.run(board, out);
            return true;
        }
    return false;
}

void printBoardCommands(std::FILE* out) {
    for (const BoardCommand& c : kBoardCommands) {
        std::fprintf(out, "  %s\n", c.name);
        std::istringstream lines(c.what);
        for (std::string text; std::getline(lines, text);) std::fprintf(out, "      %s\n", text.c_str());
    }
}

}  // namespace kzvornsim
