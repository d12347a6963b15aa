#include "boardCommands.h"

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

}  // namespace

bool runBoardCommand(const std::string& command, const std::vector<std::string>& arguments,
                     board::ProductBlocks& board, std::FILE* out) {
    if (command == "board.fpga" && arguments.empty()) {
        fpga(board, out);
        return true;
    }
    return false;
}

}  // namespace kzvornsim
