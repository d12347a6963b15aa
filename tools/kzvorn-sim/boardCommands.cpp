#include "boardCommands.h"

#include <chrono>
#include <mutex>
#include <sstream>
#include <thread>

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
                 "  last load: port %u, size %u, 64-bit stores %llu, byte writes %llu, status reads %llu, "
                 "received %llu, CRC-32 0x%08X, %s",
                 load.port, load.size, static_cast<unsigned long long>(load.stores64),
                 static_cast<unsigned long long>(load.byteWrites),
                 static_cast<unsigned long long>(load.statusReads),
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
    const board::DmaEngine::Ring ring = engine.ring();
    if (!ring.offered)
        std::fprintf(out, "  status ring: not offered\n");
    else if (!ring.on)
        std::fprintf(out, "  status ring: off\n");
    else
        std::fprintf(out, "  status ring: %u words at 0x%llX, %s, posts %llu, words written %llu\n", ring.words,
                     static_cast<unsigned long long>(ring.address),
                     (engine.interruptControl() & board::interruptBlock::kRingArmed) != 0 ? "handed back" : "taken",
                     static_cast<unsigned long long>(ring.posts), static_cast<unsigned long long>(ring.wordsWritten));
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

void printPumped(std::FILE* out, uint64_t stream, uint64_t moved) {
    std::fprintf(out, "board.pump: stream %llu moved %llu bytes\n", static_cast<unsigned long long>(stream),
                 static_cast<unsigned long long>(moved));
}

// Pumps that run later on threads of their own, joined when the script ends.
struct DelayedPumps {
    std::mutex lock;
    std::vector<std::thread> threads;
};
DelayedPumps& delayedPumps() {
    static DelayedPumps pumps;
    return pumps;
}

bool pump(board::ProductBlocks& board, const std::vector<std::string>& arguments, std::FILE* out) {
    uint64_t values[3] = {};
    if (!numbers(arguments, values)) return false;
    const uint64_t stream = values[0], bytes = values[1], delayMs = values[2];
    if (arguments.size() == 2) {
        printPumped(out, stream, board.dma.pump(unsigned(stream), bytes));
        return true;
    }
    std::fprintf(out, "board.pump: stream %llu, at most %llu bytes in %llu ms\n", static_cast<unsigned long long>(stream),
                 static_cast<unsigned long long>(bytes), static_cast<unsigned long long>(delayMs));
    DelayedPumps& pumps = delayedPumps();
    std::lock_guard<std::mutex> guard(pumps.lock);
    pumps.threads.emplace_back([&board, out, stream, bytes, delayMs] {
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        printPumped(out, stream, board.dma.pump(unsigned(stream), bytes));
    });
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

constexpr const char* kBlockNames[] = {"niso", "iso", "ch0", "ch1", "ch2", "ch3"};

std::string hexId(uint32_t id) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", id);
    return text;
}

bool showErrors(board::ProductBlocks& board, const std::vector<std::string>&, std::FILE* out) {
    std::fprintf(out, "board.errors:\n");
    for (const char* name : kBlockNames) {
        const board::NonIsolatedFpga::ErrorState state =
            board.nonIsolatedFpga.errorState(board::occurrenceBlockByName(name));
        std::string inputs;
        for (uint16_t id : state.latchedInputs) inputs += " " + hexId(id);
        std::fprintf(out, "  %s: manager %s, latched id %s, error mux latched:%s\n", name,
                     state.managerEnabled ? "enabled" : "disabled", hexId(state.latchedId).c_str(),
                     inputs.empty() ? " none" : inputs.c_str());
    }
    return true;
}

// board.raise and board.drop: the source of BLOCK turns active or quiet.
template <bool kRaise>
bool raiseOrDrop(board::ProductBlocks& board, const std::vector<std::string>& arguments, std::FILE* out) {
    BlockError error{};
    if (!parseBlockError(arguments[0] + ":" + arguments[1], false, error)) return false;
    if (kRaise)
        board.nonIsolatedFpga.raiseError(error.block, error.id);
    else
        board.nonIsolatedFpga.dropError(error.block, error.id);
    std::fprintf(out, "%s: %s %s\n", kRaise ? "board.raise" : "board.drop", arguments[0].c_str(),
                 hexId(error.id).c_str());
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

// A channel's calibration slots, single values and charge-balance offsets as the isolated register
// file holds them, and the digipot setting; "-" for what was never written.
bool calibration(board::ProductBlocks& board, const std::vector<std::string>& arguments, std::FILE* out) {
    uint64_t channel = 0;
    if (!parseNumber(arguments[0], board::kChannels - 1, channel)) return false;
    std::lock_guard<board::BoardLock> hold(board.nonIsolatedFpga.boardLock());
    const board::IsolatedRegisterFile& registers = board.nonIsolatedFpga.isolatedLink().registers();
    const board::ChannelCalibration& slots = registers.calibration(unsigned(channel));
    std::fprintf(out, "board.calibration %llu:\n", static_cast<unsigned long long>(channel));
    for (const board::ChannelCalibration::SlotTable& table : board::ChannelCalibration::kSlotTables) {
        std::fprintf(out, "  %s (0x%X):", table.name, table.data);
        const auto filled = slots.slots(table.data);
        if (filled.empty()) std::fprintf(out, " -");
        for (const auto& [selection, value] : filled) std::fprintf(out, " %u=0x%X", selection, value);
        std::fprintf(out, "\n");
    }
    for (const board::ChannelCalibration::SingleRegister& single : board::ChannelCalibration::kSingleRegisters) {
        const std::optional<uint32_t> value = slots.single(single.offset);
        if (value.has_value())
            std::fprintf(out, "  %s (0x%X): 0x%X\n", single.name, single.offset, *value);
        else
            std::fprintf(out, "  %s (0x%X): -\n", single.name, single.offset);
    }
    const uint32_t block = board::IsolatedRegisterFile::kChannelBlocks +
                           uint32_t(channel) * board::IsolatedRegisterFile::kChannelBlockWords;
    std::fprintf(out, "  charge-balance offsets (0x58-0x5B):");
    for (uint32_t range = 0; range < 4; ++range) std::fprintf(out, " 0x%04X", registers.stored(block + 0x58 + range) & 0x3FFF);
    std::fprintf(out, "\n  digipot (iso 0x%X): %u\n", board::IsolatedRegisterFile::kCmccDigiPot,
                 registers.stored(board::IsolatedRegisterFile::kCmccDigiPot) & 0xFF);
    return true;
}

// ADDRESS [COUNT] isolated words as the board holds them: a split word's write side.
bool iso(board::ProductBlocks& board, const std::vector<std::string>& arguments, std::FILE* out) {
    uint64_t address = 0, count = 1;
    if (!parseNumber(arguments[0], board::IsolatedRegisterFile::kWords - 1, address)) return false;
    if (arguments.size() > 1 && !parseNumber(arguments[1], board::IsolatedRegisterFile::kWords - address, count))
        return false;
    std::lock_guard<board::BoardLock> guard(board.nonIsolatedFpga.boardLock());
    board::IsolatedRegisterFile& words = board.nonIsolatedFpga.isolatedLink().registers();
    std::fprintf(out, "board.iso:");
    for (uint64_t a = address; a < address + count; ++a) {
        if ((a - address) % 8 == 0) std::fprintf(out, "\n  0x%04llX:", static_cast<unsigned long long>(a));
        std::fprintf(out, " %08X", words.stored(uint32_t(a)));
    }
    std::fprintf(out, "\n");
    return true;
}

bool ports(board::ProductBlocks& board, const std::vector<std::string>&, std::FILE* out) {
    board::IsolatedLink& link = board.nonIsolatedFpga.isolatedLink();
    std::lock_guard<board::BoardLock> guard(board.nonIsolatedFpga.boardLock());
    std::fprintf(out, "board.ports: isolation state %u, DC bus %s\n", link.state(),
                 link.dcBusStarted() ? "started" : "not started");
    for (unsigned p = 0; p < board::IsolatedLink::kPortCount; ++p) {
        const board::IsolatedLink::PortCounts counts = link.counts(p);
        const board::AccessPortKnobs& k = link.knobs(p);
        std::fprintf(out, "  port %u: accesses %llu, protocol violations %llu, latency %u%s%s", p,
                     static_cast<unsigned long long>(counts.accesses),
                     static_cast<unsigned long long>(counts.violations), k.latency, k.neverReady ? ", never ready" : "",
                     k.neverResponds ? ", never responds" : "");
        if (k.fault) std::fprintf(out, ", fault");
        if (k.faultReads != 0) std::fprintf(out, ", fault for %u reads", k.faultReads);
        std::fprintf(out, "\n");
    }
    return true;
}

bool channel(board::ProductBlocks& board, const std::vector<std::string>& arguments, std::FILE* out) {
    uint64_t c = 0;
    if (!numbers(arguments, &c) || c >= board::MeasureUnitsModel::kChannels) return false;
    board::NonIsolatedFpga& fpga = board.nonIsolatedFpga;
    board::MeasureUnitsModel& units = fpga.measureUnits();
    std::fprintf(out, "board.channel %llu:\n", static_cast<unsigned long long>(c));
    for (unsigned u = 0; u < board::MeasureUnitsModel::kUnits; ++u)
        std::fprintf(out, "  measure unit %u: %s, %s, %s\n", u, units.idle(unsigned(c), u, fpga.nowUs()) ? "idle" : "running",
                     units.dataWaiting(unsigned(c), u, fpga.nowUs()) ? "data" : "no data",
                     units.unit(unsigned(c), u).continuousRecords ? "continuous" : "one point");
    std::fprintf(out, "  last override id: 0x%03X\n", unsigned(fpga.triggerOverrides().channel(unsigned(c)).lastId));
    board::ChargeBalancersModel& balancers = fpga.chargeBalancers();
    const board::ChargeBalancersModel::Balancer& balancer = balancers.balancer(unsigned(c), fpga.nowUs());
    std::fprintf(out, "  charge balancer: armed range ");
    if (balancer.armedRange)
        std::fprintf(out, "%u", *balancer.armedRange);
    else
        std::fprintf(out, "none");
    std::fprintf(out, ", status 0x%04X, offsets", unsigned(balancer.status));
    for (unsigned r = 0; r < board::ChargeBalancersModel::kRanges; ++r)
        std::fprintf(out, " 0x%04X", unsigned(balancers.offset(unsigned(c), r, fpga.nowUs())));
    const board::SequenceEnginesModel::Engine& engine = fpga.sequenceEngines().engine(unsigned(c));
    std::fprintf(out, "\n  sequence engine: %u queued, %s%s\n", unsigned(engine.queued), engine.running ? "running" : "stopped",
                 engine.fault ? ", channel fault" : "");
    return true;
}

// Each routing mux that connects an input, the isolated board's first, then each PXI trigger output
// that is on.
bool muxes(board::ProductBlocks& board, const std::vector<std::string>&, std::FILE* out) {
    board::NonIsolatedFpga& fpga = board.nonIsolatedFpga;
    std::fprintf(out, "board.muxes:\n");
    bool any = false;
    for (const char* name : {"iso", "ch0", "ch1", "ch2", "ch3"}) {
        const unsigned block = unsigned(board::occurrenceBlockByName(name));
        for (uint32_t offset : board::IsolatedOccurrence::routingMuxOffsets(block)) {
            const std::optional<unsigned> input = fpga.routedInput(block, offset);
            if (!input) continue;
            any = true;
            // Isolated board words as two digits, channel words as three.
            std::fprintf(out, "  %s 0x%0*X: input %u\n", name, block == board::kIsolatedBoardBlock ? 2 : 3, offset,
                         *input);
        }
    }
    for (unsigned line = 0; line < board::NonIsolatedFpga::kPxiTriggerLines; ++line) {
        if (!fpga.pxiTriggerOutputOn(line)) continue;
        any = true;
        std::fprintf(out, "  pxi %u: on\n", line);
    }
    if (!any) std::fprintf(out, "  none\n");
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
     "entries queued, interrupts sent); DMA faults; the interrupt status ring",
     showDma},
    {"board.sequencer", 0,
     "the sequencers' runs (channel, line, start address, the tag's id), each channel's busy, fault,\n"
     "latched lines and line vectors, and local-RAM words 0 to 3 and 0xFFFF",
     showSequencer},
    {"board.channel CH", 1, "isolated channel CH (0 to 3): each measure unit idle or running, with data or not,\n"
     "continuous or one point; the id the channel registered for the last trigger override; the\n"
     "charge balancer's armed range, status bits and four offsets; the sequence engine's queued\n"
     "commands and whether it runs", channel},
    {"board.pump STREAM BYTES", 2, "moves at most BYTES bytes on the stream", pump},
    {"board.pump STREAM BYTES DELAY-MS", 3,
     "the same on a board thread DELAY-MS milliseconds later, while the script goes on (a wait\n"
     "blocked meanwhile is released by the board's interrupt)",
     pump},
    {"board.sink STREAM OFFSET COUNT", 3, "COUNT bytes an odd stream has read, from OFFSET", sink},
    {"board.errors", 0,
     "per block (niso, iso, ch0 to ch3): its error manager enabled or not and its latched id, and\n"
     "the latched inputs of its error mux",
     showErrors},
    {"board.muxes", 0,
     "each routing mux that connects an input (\"iso 0x30: input 2\", \"ch0 0x02B: input 3\"), then each\n"
     "PXI trigger output that is on (\"pxi 0: on\"); \"none\" when there is neither",
     muxes},
    {"board.raise BLOCK ID", 2, "error source ID of BLOCK (niso, iso, ch0 to ch3) turns active", raiseOrDrop<true>},
    {"board.drop BLOCK ID", 2, "error source ID of BLOCK turns quiet", raiseOrDrop<false>},
    {"board.calibration CH", 1,
     "channel CH's calibration slots (selection=value per data register), single calibration values,\n"
     "charge-balance offsets and the common-mode current digipot setting",
     calibration},
    {"board.iso ADDRESS", 1, "the isolated word at ADDRESS as the board holds it (a split word's write side)", iso},
    {"board.iso ADDRESS COUNT", 2, "COUNT isolated words from ADDRESS", iso},
    {"board.ports", 0,
     "the isolation link's state and DC bus; per access port: accesses, protocol violations\n"
     "(a data or address write while not ready) and its knobs",
     ports},
};


}  // namespace

bool parseBlockError(const std::string& text, bool bareIsNiso, BlockError& error) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos && !bareIsNiso) return false;
    const int block = colon == std::string::npos ? board::NonIsolatedFpga::kNonIsolatedBlock
                                                 : board::occurrenceBlockByName(text.substr(0, colon));
    uint64_t id = 0;
    if (block < board::NonIsolatedFpga::kNonIsolatedBlock ||
        !parseNumber(colon == std::string::npos ? text : text.substr(colon + 1), 0xFFFF, id))
        return false;
    error = {block, static_cast<uint16_t>(id)};
    return true;
}

bool runBoardCommand(const std::string& command, const std::vector<std::string>& arguments,
                     board::ProductBlocks& board, std::FILE* out) {
    for (const BoardCommand& c : kBoardCommands) {
        const std::string name(c.name);
        if (command == name.substr(0, name.find(' ')) && arguments.size() == c.arguments)
            return c.run(board, arguments, out);
    }
    return false;
}

void finishBoardCommands() {
    DelayedPumps& pumps = delayedPumps();
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> guard(pumps.lock);
        threads.swap(pumps.threads);
    }
    for (std::thread& thread : threads) thread.join();
}

void printBoardCommands(std::FILE* out) {
    for (const BoardCommand& c : kBoardCommands) {
        std::fprintf(out, "  %s\n", c.name);
        std::istringstream lines(c.what);
        for (std::string text; std::getline(lines, text);) std::fprintf(out, "      %s\n", text.c_str());
    }
}

}  // namespace kzvornsim
