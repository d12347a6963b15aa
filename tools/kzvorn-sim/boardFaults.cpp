#include "boardFaults.h"

#include "boardCommands.h"
#include "script.h"

namespace kzvornsim {

namespace {

// A stream past the last sets nothing.
uint32_t streamBit(uint64_t stream) { return stream < board::kDmaStreamCount ? 1u << stream : 0; }

// The value of a knob that names an error source of a block.
constexpr const char* kBlockErrorValue = "[BLOCK:]ID";

// A knob on the flash image takes its value as text; given no image it only checks the text.
using ImageKnob = bool (*)(board::FlashImage*, const std::string&);
// An access port's value "P" or "P:N": the port in the high word, N in the low.
constexpr uint64_t kPortShift = 32;
board::AccessPortKnobs& portOf(board::ProductOptions& o, uint64_t value) { return o.isolated.ports[value >> kPortShift]; }
uint32_t countOf(uint64_t value) { return uint32_t(value); }

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
    // A value of parts A:B has a largest value per part; the parts reach the setter in 32 bits each
    // (21 bits each for three parts), the first highest.
    std::vector<uint64_t> partLimits = {};
    ImageKnob image = nullptr;
};

// The bits each part of a value of n parts takes.
constexpr unsigned partBits(size_t n) { return n <= 2 ? 32 : unsigned(64 / n); }
// Part i of n of a value of parts.
unsigned part(uint64_t value, unsigned i, unsigned n) {
    const unsigned bits = partBits(n);
    return unsigned((value >> (bits * (n - 1 - i))) & ((uint64_t{1} << bits) - 1));
}

board::MeasureUnitsModel::Unit& measureUnit(board::ProductBlocks& b, uint64_t v) {
    return b.nonIsolatedFpga.measureUnits().unit(part(v, 0, 2), part(v, 1, 2));
}

bool parseParts(const std::string& text, const std::vector<uint64_t>& limits, uint64_t& value) {
    value = 0;
    size_t from = 0;
    for (size_t i = 0; i < limits.size(); ++i) {
        const size_t colon = i + 1 < limits.size() ? text.find(':', from) : std::string::npos;
        if (i + 1 < limits.size() && colon == std::string::npos) return false;
        uint64_t number = 0;
        if (!parseNumber(text.substr(from, colon == std::string::npos ? std::string::npos : colon - from), limits[i], number))
            return false;
        value = (value << partBits(limits.size())) | number;
        from = colon + 1;
    }
    return true;
}

bool parseChannel(const std::string& text, uint64_t& channel) {
    return parseNumber(text, board::kChannels - 1, channel);
}

std::string calibrationRecord(const char* kind, uint64_t channel) {
    return std::string(kind) + "CalibrationChannel" + std::to_string(channel);
}

bool zeroChargeBalanceOffset(board::FlashImage* image, const std::string& value) {
    const size_t colon = value.find(':');
    uint64_t channel = 0, range = 0;
    if (colon == std::string::npos || !parseChannel(value.substr(0, colon), channel) ||
        !parseNumber(value.substr(colon + 1), 3, range))
        return false;
    if (image == nullptr) return true;
    for (const char* kind : {"Default", "Factory", "External", "Self"}) {
        image->setCoefficient(calibrationRecord(kind, channel), board::record::kChargeBalanceOffsets,
                              static_cast<uint32_t>(range), board::Coefficient{0, 0});
    }
    return true;
}

bool badVoltageGain(board::FlashImage* image, const std::string& value) {
    uint64_t channel = 0;
    if (!parseChannel(value, channel)) return false;
    // 2^55: one past the largest gain the gain registers take.
    if (image != nullptr)
        image->setCoefficient(calibrationRecord("Self", channel), board::record::kVoltageGain, 0,
                              board::Coefficient{uint64_t{1} << 55, 0});
    return true;
}

bool corruptRecord(board::FlashImage* image, const std::string& value) {
    for (const board::StoredRecord& record : board::storedRecords()) {
        if (value != record.name || !record.checksummed) continue;
        if (image != nullptr) image->corruptChecksum(value);
        return true;
    }
    return false;
}

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
    {"no-dma64", nullptr, "the bridge's capability register does not offer 64-bit DMA addresses (bit 5 clear)",
     [](board::ProductOptions& o, uint64_t) { o.bridgeCore.dma64 = false; }, nullptr},
    {"dma32", nullptr, "the platform refuses the 64-bit DMA mask",
     [](board::ProductOptions& o, uint64_t) { o.dma32Only = true; }, nullptr},
    {"link-size-log2", "N", "the capability register gives links of 2^N bytes (bits 12-15; 9 by default)",
     [](board::ProductOptions& o, uint64_t n) { o.bridgeCore.sglLinkSizeLog2 = unsigned(n & 0xF); }, nullptr},
    {"source-never-stops", "S", "source stream S never reports stopped after a credit stop", nullptr,
     [](board::ProductBlocks& b, uint64_t s) { b.nonIsolatedFpga.setSourceNeverStops(unsigned(s), s < board::kDmaStreamCount); }},
    {"no-status-ring", nullptr, "the bridge offers no interrupt status ring (0x3B4-0x3FF plain core registers)",
     [](board::ProductOptions& o, uint64_t) { o.bridgeCore.statusRing = false; }, nullptr},
    {"device-removed", nullptr, "the interrupt status and queue read all ones, and no status-ring word is written", nullptr,
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
    {"stuck-error", kBlockErrorValue,
     "BLOCK's error manager (niso, iso, ch0 to ch3; a bare ID: niso) reports error ID, whatever is cleared", nullptr,
     [](board::ProductBlocks& b, uint64_t v) {
         const BlockError error = BlockError::unpacked(v);
         b.nonIsolatedFpga.setStuckError(error.block, error.id);
     }},
    {"cal-zero-offset", "CH:RANGE", "every calibration record of channel CH stores a zero charge-balance offset for RANGE",
     nullptr, nullptr, {}, zeroChargeBalanceOffset},
    {"cal-bad-gain", "CH", "channel CH's self calibration stores a voltage gain of 2^55", nullptr, nullptr, {},
     badVoltageGain},
    {"flash-corrupt", "NAME", "the stored record NAME's checksum is spoilt", nullptr, nullptr, {}, corruptRecord},
    {"iso-comm-never", "1|2", "the isolation link never reaches that state",
     [](board::ProductOptions& o, uint64_t state) { o.isolated.isoCommNever = unsigned(state); }, nullptr},
    {"dc-bus-never-starts", nullptr, "the isolated DC bus never completes its start-up",
     [](board::ProductOptions& o, uint64_t) { o.isolated.dcBusNeverStarts = true; }, nullptr},
    {"iso-fpga-never-ready", nullptr, "port 3 of the FPGA configuration port never reports ready",
     [](board::ProductOptions& o, uint64_t) { o.fpga.isolatedNeverReady = true; }, nullptr},
    {"iso-fpga-never-done", nullptr, "a load through port 3 never completes",
     [](board::ProductOptions& o, uint64_t) { o.fpga.isolatedNeverDone = true; }, nullptr},
    {"iso-fpga-done-withheld", nullptr, "a valid image through port 3 configures the FPGA without reporting done",
     [](board::ProductOptions& o, uint64_t) { o.fpga.isolatedDoneWithheld = true; }, nullptr},
    {"access-port-never-ready", "P", "isolated register access port P never reports ready",
     [](board::ProductOptions& o, uint64_t v) { portOf(o, v).neverReady = true; }, nullptr},
    {"access-port-never-responds", "P", "access port P never answers a read",
     [](board::ProductOptions& o, uint64_t v) { portOf(o, v).neverResponds = true; }, nullptr},
    {"access-port-fault", "P[:N]", "access port P reports its fault bit, always or on its next N status reads",
     [](board::ProductOptions& o, uint64_t v) {
         if (countOf(v) == 0) portOf(o, v).fault = true;
         portOf(o, v).faultReads = countOf(v);
     },
     nullptr},
    {"access-port-latency", "P:N", "access port P takes N status reads to become ready again or to answer",
     [](board::ProductOptions& o, uint64_t v) { portOf(o, v).latency = countOf(v); }, nullptr},
    {"pll-never-locks", nullptr, "the external PLL never reports locked",
     [](board::ProductOptions& o, uint64_t) { o.isolated.sequencers.pllNeverLocks = true; }, nullptr},
    {"pll-stuck-busy", nullptr, "the external PLL's shift register stays busy",
     [](board::ProductOptions& o, uint64_t) { o.isolated.sequencers.pllStuckBusy = true; }, nullptr},
    {"line-stuck", "CH:LINE", "channel CH's software-interrupt line LINE stays latched after its run (0xBFFA468C)",
     [](board::ProductOptions& o, uint64_t v) { channelOf(o, part(v, 0, 2)).lineStuckLatched = part(v, 1, 2); }, nullptr,
     {board::kChannels - 1, board::IsolatedSequencers::kLines - 1}},
    {"busy-stuck", "CH", "channel CH's sequencer stays busy",
     [](board::ProductOptions& o, uint64_t ch) { channelOf(o, ch).busyStuck = true; }, nullptr},
    {"compliance", "CH", "channel CH reports compliance",
     [](board::ProductOptions& o, uint64_t ch) { channelOf(o, ch).compliance = true; }, nullptr},
    {"dac-word", "CH:WORD", "channel CH's DAC reads back WORD (channel word 0x128)", nullptr,
     [](board::ProductBlocks& b, uint64_t v) {
         b.nonIsolatedFpga.isolatedLink().registers().setDacWord(part(v, 0, 2), part(v, 1, 2));
     }, {3, UINT32_MAX}},
    {"temperature-invalid", "vref|niso", "that temperature reading never reports valid",
     [](board::ProductOptions& o, uint64_t which) {
         (which == 0 ? o.isolated.sequencers.vrefNeverValid : o.isolated.sequencers.nisoTemperatureNeverValid) = true;
     },
     nullptr},
    {"strict-sequencer", nullptr, "a line raised without a tagged vector faults its channel and stays busy",
     [](board::ProductOptions& o, uint64_t) { o.isolated.sequencers.strict = true; }, nullptr},
    {"subroutine-duration", "ID:US", "subroutine ID runs US microseconds",
     [](board::ProductOptions& o, uint64_t v) { o.isolated.sequencers.durationUs[part(v, 0, 2)] = part(v, 1, 2); }, nullptr,
     {UINT32_MAX, UINT32_MAX}},
    {"measure-never-idle", "CH:UNIT", "measure unit UNIT of channel CH never reports idle", nullptr,
     [](board::ProductBlocks& b, uint64_t v) { measureUnit(b, v).neverIdle = true; }, {3, 2}},
    {"measure-never-data", "CH:UNIT", "measure unit UNIT of channel CH never delivers a measurement", nullptr,
     [](board::ProductBlocks& b, uint64_t v) { measureUnit(b, v).neverData = true; }, {3, 2}},
    {"override-id", "CH:ID", "channel CH registers occurrence ID (12 bits) for any trigger override", nullptr,
     [](board::ProductBlocks& b, uint64_t v) {
         b.nonIsolatedFpga.triggerOverrides().channel(part(v, 0, 2)).reportedId = uint16_t(part(v, 1, 2));
     }, {3, 0xFFF}},
    {"balancer-fail", "CH", "channel CH's charge balancer fails every calculation", nullptr,
     [](board::ProductBlocks& b, uint64_t ch) { b.nonIsolatedFpga.chargeBalancers().knobs(unsigned(ch)).fail = true; },
     {3}},
    {"balancer-silent", "CH", "channel CH's charge balancer never completes a calculation", nullptr,
     [](board::ProductBlocks& b, uint64_t ch) { b.nonIsolatedFpga.chargeBalancers().knobs(unsigned(ch)).silent = true; },
     {3}},
    {"balancer-offset", "CH:RANGE:VALUE", "channel CH's charge balancer measures VALUE (14 bits) for range index RANGE",
     nullptr,
     [](board::ProductBlocks& b, uint64_t v) {
         b.nonIsolatedFpga.chargeBalancers().knobs(part(v, 0, 3)).results[part(v, 1, 3)] = uint16_t(part(v, 2, 3));
     }, {3, 3, 0x3FFF}},
    {"queued", "CH:N", "channel CH's command FIFO holds N commands", nullptr,
     [](board::ProductBlocks& b, uint64_t v) {
         b.nonIsolatedFpga.sequenceEngines().engine(part(v, 0, 2)).queued = part(v, 1, 2);
     }, {3, UINT32_MAX}},
    {"latch", "CH:BITS", "channel CH's event-latch register shows BITS latched from the start", nullptr,
     [](board::ProductBlocks& b, uint64_t v) { b.nonIsolatedFpga.latchEvents(part(v, 0, 2), part(v, 1, 2)); },
     {3, UINT32_MAX}},
    {"overflow", "CH", "channel CH's measure FIFO reports an overflow (unit 0)", nullptr,
     [](board::ProductBlocks& b, uint64_t ch) { b.nonIsolatedFpga.overflowMeasureFifo(unsigned(ch)); }, {3}},
    {"engine-fault", "CH", "channel CH reports a channel fault (status bit 25)", nullptr,
     [](board::ProductBlocks& b, uint64_t ch) { b.nonIsolatedFpga.sequenceEngines().engine(unsigned(ch)).fault = true; },
     {3}},
};

// The value of a knob: a number, "1|2", one of the words of "a|b" (its index), an error source
// "[BLOCK:]ID", or an access port "P" / "P:N".
bool parseValue(const Knob& knob, const std::string& text, uint64_t& value) {
    const std::string form = knob.value;
    if (knob.value == kBlockErrorValue) {
        BlockError error{};
        if (!parseBlockError(text, true, error)) return false;
        value = error.packed();
        return true;
    }
    if (form == "1|2") return parseNumber(text, 2, value) && value >= 1;
    if (form.find('|') != std::string::npos) {
        size_t at = 0;
        for (value = 0;; ++value) {
            const size_t bar = form.find('|', at);
            if (form.substr(at, bar == std::string::npos ? std::string::npos : bar - at) == text) return true;
            if (bar == std::string::npos) return false;
            at = bar + 1;
        }
    }
    if (form[0] != 'P') return parseNumber(text, UINT64_MAX, value);
    const size_t colon = text.find(':');
    const bool countGiven = colon != std::string::npos;
    const bool allowed = form == "P" ? !countGiven : form == "P:N" ? countGiven : true;
    if (!allowed) return false;
    uint64_t port = 0, count = 0;
    if (!parseNumber(text.substr(0, colon), board::IsolatedLink::kPortCount - 1, port)) return false;
    if (countGiven && !parseNumber(text.substr(colon + 1), UINT32_MAX, count)) return false;
    value = (port << kPortShift) | count;
    return true;
}

}  // namespace

bool BoardFaults::add(const std::string& fault, std::string& why) {
    const size_t equals = fault.find('=');
    const std::string name = fault.substr(0, equals);
    for (size_t i = 0; i < sizeof kKnobs / sizeof kKnobs[0]; ++i) {
        if (name != kKnobs[i].name) continue;
        const bool given = equals != std::string::npos;
        uint64_t value = 0;
        const std::string text = given ? fault.substr(equals + 1) : std::string();
        const bool valid = kKnobs[i].image != nullptr    ? kKnobs[i].image(nullptr, text)
                           : !kKnobs[i].partLimits.empty() ? !given || parseParts(text, kKnobs[i].partLimits, value)
                                                           : !given || parseValue(kKnobs[i], text, value);
        if (given != (kKnobs[i].value != nullptr) || !valid) {
            why = kKnobs[i].value != nullptr ? "takes a value: " + name + "=" + kKnobs[i].value : "takes no value";
            return false;
        }
        chosen_.push_back({i, value, text});
        return true;
    }
    why = "no such board fault";
    return false;
}

void BoardFaults::apply(board::ProductOptions& options) const {
    for (const Chosen& c : chosen_) {
        if (kKnobs[c.knob].options != nullptr) kKnobs[c.knob].options(options, c.value);
        if (kKnobs[c.knob].image == nullptr) continue;
        if (!options.flash.has_value()) options.flash = board::FlashImage::standard();
        kKnobs[c.knob].image(&*options.flash, c.text);
    }
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
