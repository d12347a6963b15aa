#include "boardCommands.h"

#include <cerrno>
#include <cstdlib>

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

const char* channelState(const board::DmaEngine::Channel& c) {
    if (c.running) return "running";
    if (c.status & board::dmaChannel::kStatusFault) return "faulted";
    return "idle";
}

void dma(board::ProductBlocks& board, std::FILE* out) {
    board::DmaEngine& engine = board.dma;
    std::fprintf(out, "board.dma:\n");
    for (unsigned i = 0; i < board::kDmaStreamCount; ++i) {
        const board::DmaEngine::Channel c = engine.channel(i);
        std::fprintf(out, "  stream %u: channel %s, status 0x%08X, link 0x%llX/%u, count %llu, armed ", i,
                     channelState(c), c.status, static_cast<unsigned long long>(c.linkAddress), c.linkLength,
                     static_cast<unsigned long long>(c.count));
        if (c.armed)
            std::fprintf(out, "%llu", static_cast<unsigned long long>(c.position));
        else
            std::fprintf(out, "none");
        if (c.circuit != nullptr)
            std::fprintf(out, ", circuit 0x%08X, credits %llu", c.circuit->controlStatus(),
                         static_cast<unsigned long long>(c.circuit->credits()));
        std::fprintf(out, "\n");
    }
    std::fprintf(out, "  interrupt: %s, control 0x%08X, queued %zu, entries %llu, interrupts sent %llu\n",
                 engine.interruptEnabled() ? "enabled" : "disabled", engine.interruptControl(), engine.queueDepth(),
                 static_cast<unsigned long long>(engine.entriesQueued()),
                 static_cast<unsigned long long>(engine.interruptsSent()));
    std::fprintf(out, "  DMA faults: %llu\n", static_cast<unsigned long long>(engine.dmaFaults()));
}

bool number(const std::string& text, uint64_t& value) {
    if (text.empty() || text[0] == '-') return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtoull(text.c_str(), &end, 0);
    return errno == 0 && *end == '\0';
}

bool numbers(const std::vector<std::string>& arguments, uint64_t* values) {
    for (size_t i = 0; i < arguments.size(); ++i)
        if (!number(arguments[i], values[i])) return false;
    return values[0] < board::kDmaStreamCount;
}

}  // namespace

bool runBoardCommand(const std::string& command, const std::vector<std::string>& arguments,
                     board::ProductBlocks& board, std::FILE* out) {
    if (command == "board.fpga" && arguments.empty()) {
        fpga(board, out);
        return true;
    }
    if (command == "board.dma" && arguments.empty()) {
        dma(board, out);
        return true;
    }
    uint64_t values[3] = {};
    if (command == "board.pump" && arguments.size() == 2 && numbers(arguments, values)) {
        const uint64_t moved = board.dma.pump(unsigned(values[0]), values[1]);
        std::fprintf(out, "board.pump: stream %llu moved %llu bytes\n", static_cast<unsigned long long>(values[0]),
                     static_cast<unsigned long long>(moved));
        return true;
    }
    if (command == "board.sink" && arguments.size() == 3 && numbers(arguments, values)) {
        const auto sink = board.dma.sink(unsigned(values[0]));
        std::fprintf(out, "board.sink: stream %llu, %zu bytes:", static_cast<unsigned long long>(values[0]),
                     sink.size());
        for (uint64_t at = values[1]; at < sink.size() && at - values[1] < values[2]; ++at)
            std::fprintf(out, " %02X", sink[at]);
        std::fprintf(out, "\n");
        return true;
    }
    return false;
}

}  // namespace kzvornsim
