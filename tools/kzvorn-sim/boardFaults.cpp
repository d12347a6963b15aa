#include "boardFaults.h"

#include "script.h"

namespace kzvornsim {

namespace {

// A stream past the last sets nothing.
uint32_t streamBit(uint64_t stream) { return stream < board::kDmaStreamCount ? 1u << stream : 0; }

// A channel past the last sets the last one's knob.
board::SequencerChannelOptions& channelOf(board::ProductOptions& options, uint64_t channel) {
    auto& channels = options.isolated.sequencers.channels;
    return channels[channel < channels.size() ? channel : channels.size() - 1];
}

struct Knob {
    const char* name;
    const char* value;  // what the value means; null for a knob without one
    const char* effect;
    void (*options)(board::ProductOptions&, uint64_t);
    void (*blocks)(board::ProductBlocks&, uint64_t);
};

const Knob kKnobs[] = {
    {"fpga-never-ready", nullptr, "the FPGA configuration port never reports ready",
     [](board::ProductOptions& o, uint64_t) { o.fpga.neverReady = true; }, nullptr},
    {"fpga-never-done", nullptr, "the FPGA configuration port never reports a load done",
     [](board::ProductOptions& o, uint64_t) { o.fpga.neverDone = true; }, nullptr},
    {"fpga-accept-any", nullptr, "the FPGA configuration port configures its FPGA with any image",
     [](board::ProductOptions& o, uint64_t) { o.fpga.acceptAny = true; }, nullptr},
    {"fpga-ready-delay", "US", "the FPGA configuration port reports ready US microseconds after a start",
     [](board::ProductOptions& o, uint64_t us) { o.fpga.readyDelayUs = us; }, nullptr},
    {"ioport2-never-enables", nullptr, "IO port 2's link never reports enabled", nullptr,
     [](board::ProductBlocks& b, uint64_t) { b.bus.forceIOPort2StatusBit7(true); }},
    {"ioport2-never-configures", nullptr, "IO port 2's link never reports configured", nullptr,
     [](board::ProductBlocks& b, uint64_t) { b.bus.forceIOPort2StatusBit7(false); }},
    {"port-never-ready", nullptr, "the switched bus interface's port handshake never completes", nullptr,
     [](board::ProductBlocks& b, uint64_t) { b.bus.setNeverReady(true); }},
    {"dma-never-runs", "S", "stream S's DMA channel never runs when started", nullptr,
     [](board::ProductBlocks& b, uint64_t s) { b.dma.faults().neverRuns |= streamBit(s); }},
    {"dma-never-stops", "S", "stream S's DMA channel keeps running when stopped", nullptr,
     [](board::ProductBlocks& b, uint64_t s) { b.dma.faults().neverStops |= streamBit(s); }},
    {"circuit-never-enables", "S", "stream circuit S never reports transfer enabled", nullptr,
     [](board::ProductBlocks& b, uint64_t s) { b.dma.faults().circuitNeverEnables |= streamBit(s); }},
    {"circuit-never-resets", "S", "stream circuit S never reports reset complete", nullptr,
     [](board::ProductBlocks& b, uint64_t s) { b.dma.faults().circuitNeverResets |= streamBit(s); }},
    {"circuit-drops-enable", "S", "stream circuit S clears its transfer enable by itself", nullptr,
     [](board::ProductBlocks& b, uint64_t s) { b.dma.faults().circuitDropsEnable |= streamBit(s); }},
    {"device-removed", nullptr, "the interrupt status and queue read all ones", nullptr,
     [](board::ProductBlocks& b, uint64_t) { b.dma.faults().deviceRemoved = true; }},
    {"niso-signature", "HEX", "the non-isolated FPGA presents HEX as its signature", nullptr,
     [](board::ProductBlocks& b, uint64_t v) { b.nonIsolatedFpga.overrideSignature(uint32_t(v)); }},
    {"dac-never-ready", nullptr, "the sinking board's bias DAC never reports ready", nullptr,
     [](board::ProductBlocks& b, uint64_t) { b.nonIsolatedFpga.powerPath().dacNeverReady = true; }},
    {"transformer-never-up", nullptr, "the transformer never reports up", nullptr,
     [](board::ProductBlocks& b, uint64_t) { b.nonIsolatedFpga.powerPath().transformerNeverUp = true; }},
    {"backplane-never-valid", nullptr, "the backplane power monitor's reading never turns valid", nullptr,
     [](board::ProductBlocks& b, uint64_t) { b.nonIsolatedFpga.backplanePowerMonitor().neverValid = true; }},
    {"sinking-never-valid", nullptr, "the sinking board's power monitor reading never turns valid", nullptr,
     [](board::ProductBlocks& b, uint64_t) { b.nonIsolatedFpga.sinkingBoardPowerMonitor().neverValid = true; }},
    {"sinking-reading", "N", "the sinking board's power monitor reads N (16 bits; 12000 by default)", nullptr,
     [](board::ProductBlocks& b, uint64_t n) { b.nonIsolatedFpga.sinkingBoardPowerMonitor().setReading(0, uint16_t(n)); }},
    {"monitor-never-ready", nullptr, "both power monitors' command windows never report ready", nullptr,
     [](board::ProductBlocks& b, uint64_t) {
         b.nonIsolatedFpga.backplanePowerMonitor().neverReady = true;
         b.nonIsolatedFpga.sinkingBoardPowerMonitor().neverReady = true;
     }},
    {"monitor-read-never-done", nullptr, "both power monitors' chip reads never complete", nullptr,
     [](board::ProductBlocks& b, uint64_t) {
         b.nonIsolatedFpga.backplanePowerMonitor().readNeverDone = true;
         b.nonIsolatedFpga.sinkingBoardPowerMonitor().readNeverDone = true;
     }},
    {"stuck-error", "ID", "the non-isolated board's error manager reports error ID, whatever is cleared", nullptr,
     [](board::ProductBlocks& b, uint64_t id) { b.nonIsolatedFpga.errorManager().setStuckId(uint16_t(id)); }},
    {"pll-never-locks", nullptr, "the external PLL never reports locked",
     [](board::ProductOptions& o, uint64_t) { o.isolated.sequencers.pllNeverLocks = true; }, nullptr},
    {"pll-stuck-busy", nullptr, "the external PLL's shift register stays busy",
     [](board::ProductOptions& o, uint64_t) { o.isolated.sequencers.pllStuckBusy = true; }, nullptr},
    {"line-stuck", "CH:LINE", "channel CH's software-interrupt line LINE stays latched after its run",
     [](board::ProductOptions& o, uint64_t v) { channelOf(o, v >> 32).lineStuckLatched = unsigned(v); }, nullptr},
    {"busy-stuck", "CH", "channel CH's sequencer stays busy",
     [](board::ProductOptions& o, uint64_t ch) { channelOf(o, ch).busyStuck = true; }, nullptr},
    {"compliance", "CH", "channel CH reports compliance",
     [](board::ProductOptions& o, uint64_t ch) { channelOf(o, ch).compliance = true; }, nullptr},
    {"temperature-invalid", "vref|niso", "that temperature reading never reports valid",
     [](board::ProductOptions& o, uint64_t which) {
         (which == 0 ? o.isolated.sequencers.vrefNeverValid : o.isolated.sequencers.nisoTemperatureNeverValid) = true;
     },
     nullptr},
    {"strict-sequencer", nullptr, "a line raised without a tagged vector faults its channel and stays busy",
     [](board::ProductOptions& o, uint64_t) { o.isolated.sequencers.strict = true; }, nullptr},
    {"subroutine-duration", "ID:US", "subroutine ID runs US microseconds",
     [](board::ProductOptions& o, uint64_t v) { o.isolated.sequencers.durationUs[uint32_t(v >> 32)] = uint32_t(v); }, nullptr},
};

// The value a knob's value text asks for: one of the words of "a|b" (its index), two 32-bit
// numbers "A:B" (A in the high half), or one number.
bool parseKnobValue(const char* format, const std::string& text, uint64_t& value) {
    const std::string words = format;
    if (words.find('|') != std::string::npos) {
        size_t at = 0;
        for (uint64_t index = 0;; ++index) {
            const size_t bar = words.find('|', at);
            if (words.compare(at, bar == std::string::npos ? std::string::npos : bar - at, text) == 0 &&
                text.size() == (bar == std::string::npos ? words.size() : bar) - at) {
                value = index;
                return true;
            }
            if (bar == std::string::npos) return false;
            at = bar + 1;
        }
    }
    if (words.find(':') != std::string::npos) {
        const size_t colon = text.find(':');
        uint64_t high = 0, low = 0;
        if (colon == std::string::npos || !parseNumber(text.substr(0, colon), 0xFFFFFFFF, high) ||
            !parseNumber(text.substr(colon + 1), 0xFFFFFFFF, low))
            return false;
        value = (high << 32) | low;
        return true;
    }
    return parseNumber(text, UINT64_MAX, value);
}

}  // namespace

bool BoardFaults::add(const std::string& fault, std::string& why) {
    const size_t equals = fault.find('=');
    const std::string name = fault.substr(0, equals);
    for (size_t i = 0; i < sizeof kKnobs / sizeof kKnobs[0]; ++i) {
        if (name != kKnobs[i].name) continue;
        const bool given = equals != std::string::npos;
        uint64_t value = 0;
        if (given != (kKnobs[i].value != nullptr) || (given && !parseKnobValue(kKnobs[i].value, fault.substr(equals + 1), value))) {
            why = kKnobs[i].value != nullptr ? "takes a value: " + name + "=" + kKnobs[i].value : "takes no value";
            return false;
        }
        chosen_.push_back({i, value});
        return true;
    }
    why = "no such board fault";
    return false;
}

void BoardFaults::apply(board::ProductOptions& options) const {
    for (const Chosen& c : chosen_)
        if (kKnobs[c.knob].options != nullptr) kKnobs[c.knob].options(options, c.value);
}

void BoardFaults::apply(board::ProductBlocks& blocks) const {
    for (const Chosen& c : chosen_)
        if (kKnobs[c.knob].blocks != nullptr) kKnobs[c.knob].blocks(blocks, c.value);
}

void BoardFaults::list(std::FILE* out) {
    for (const Knob& knob : kKnobs) {
        const std::string name = knob.value != nullptr ? std::string(knob.name) + "=" + knob.value : knob.name;
        std::fprintf(out, "  %-26s %s\n", name.c_str(), knob.effect);
    }
}

}  // namespace kzvornsim
