#include "boardCommands.h"

#include <sstream>

#include "script.h"

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

// STREAM and the numbers after it, each decimal or 0x hexadecimal; the stream one of the engine's.
bool numbers(const std::vector<std::string>& arguments, uint64_t* values) {
    for (size_t i = 0; i < arguments.size(); ++i)
        if (!parseNumber(arguments[i], UINT64_MAX, values[i])) return false;
    return values[0] < board::kDmaStreamCount;
}

bool showFpga(board::ProductBlocks& board, const std::vector<std::string>&, std::FILE* out) {
    fpga(board, out);
    return true;
}

bool showDma(board::ProductBlocks& board, const std::vector<std::string>&, std::FILE* out) {
    dma(board, out);
    return true;
}

bool pump(board::ProductBlocks& board, const std::vector<std::string>& arguments, std::FILE* out) {
    uint64_t values[2] = {};
    if (!numbers(arguments, values)) return false;
    const uint64_t moved = board.dma.pump(unsigned(values[0]), values[1]);
    std::fprintf(out, "board.pump: stream %llu moved %llu bytes\n", static_cast<unsigned long long>(values[0]),
                 static_cast<unsigned long long>(moved));
    return true;
}

bool sink(board::ProductBlocks& board, const std::vector<std::string>& arguments, std::FILE* out) {
    uint64_t values[3] = {};
    if (!numbers(arguments, values)) return false;
    const auto bytes = board.dma.sink(unsigned(values[0]));
    std::fprintf(out, "board.sink: stream %llu, %zu bytes:", static_cast<unsigned long long>(values[0]), bytes.size());
    for (uint64_t at = values[1]; at < bytes.size() && at - values[1] < values[2]; ++at)
        std::fprintf(out, " %02X", bytes[at]);
    std::fprintf(out, "\n");
    return true;
}

bool showSequencer(board::ProductBlocks& board, const std::vector<std::string>&, std::FILE* out) {
    const board::IsolatedSequencers& model = board.nonIsolatedFpga.isolatedLink().sequencers();
    std::fprintf(out, "board.sequencer:\n");
    const std::vector<board::SequencerRun> runs = model.runs();
    std::fprintf(out, "  runs: %zu\n", runs.size());
    for (const board::SequencerRun& r : runs) {
        std::fprintf(out, "    channel %u, line %u, address 0x%04X, ", r.channel, r.line, r.address);
        if (r.id) std::fprintf(out, "id 0x%08X\n", *r.id);
        else std::fprintf(out, "untagged\n");
    }
    for (unsigned c = 0; c < board::IsolatedSequencers::kChannels; ++c) {
        const board::IsolatedSequencers::ChannelView v = model.channel(c);
        std::fprintf(out, "  channel %u: busy %d, fault %d, latched", c, v.busy, v.fault);
        for (bool l : v.latched) std::fprintf(out, " %d", l);
        std::fprintf(out, ", vectors");
        for (const auto& vector : v.vectors) {
            if (vector) std::fprintf(out, " 0x%04X", *vector);
            else std::fprintf(out, " -");
        }
        std::fprintf(out, "\n");
    }
    const auto& ram = model.localRam();
    std::fprintf(out, "  local RAM: 0x0000 0x%016llX, 0x0001 0x%016llX, 0x0002 0x%016llX, 0x0003 0x%016llX, "
                      "0xFFFF 0x%016llX\n",
                 static_cast<unsigned long long>(ram[0]), static_cast<unsigned long long>(ram[1]),
                 static_cast<unsigned long long>(ram[2]), static_cast<unsigned long long>(ram[3]),
                 static_cast<unsigned long long>(ram[0xFFFF]));
    return true;
}

struct BoardCommand {
    const char* name;
    size_t arguments;
    const char* what;
    bool (*run)(board::ProductBlocks&, const std::vector<std::string>&, std::FILE*);
};

constexpr BoardCommand kBoardCommands[] = {
    {"board.fpga", 0,
     "each FPGA configured or not, with its signature; then the configuration port's last load:\n"
     "port, size, 64-bit stores, byte writes, status reads, bytes received, their CRC-32, verdict",
     showFpga},
    {"board.dma", 0,
     "per stream: channel state and status, link, transfer count, armed notification position,\n"
     "stream circuit bits and credits left; the interrupt block (enabled, control, queue depth,\n"
     "entries queued, interrupts sent); DMA faults",
     showDma},
    {"board.sequencer", 0,
     "the sequencers' runs (channel, line, start address, the tag's id), each channel's busy, fault,\n"
     "latched lines and line vectors, and local-RAM words 0 to 3 and 0xFFFF",
     showSequencer},
    {"board.pump STREAM BYTES", 2, "moves at most BYTES bytes on the stream", pump},
    {"board.sink STREAM OFFSET COUNT", 3, "COUNT bytes an odd stream has read, from OFFSET", sink},
};


}  // namespace

bool runBoardCommand(const std::string& command, const std::vector<std::string>& arguments,
                     board::ProductBlocks& board, std::FILE* out) {
    for (const BoardCommand& c : kBoardCommands) {
        const std::string name(c.name);
        if (command == name.substr(0, name.find(' ')) && arguments.size() == c.arguments)
            return c.run(board, arguments, out);
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
