// The table is built at compile time from the wiring of the multiplexers, so it cannot drift from it.
#include "kzark/tolvaneTopography.h"

#include "controllers/routeProgrammer.h"
#include "vantrel_shared/routeProgrammerHelper.h"

namespace TolvaneTopography {
namespace {

using kzark::Edge;
using kzark::ProgrammingAction;
using kzark::Terminal;

constexpr uint32_t kActionCount = 11216;

constexpr uint32_t kIsolatedFpgaMap = vantrel_shared::kRouteProgrammerIsoFpgaRegmap;
constexpr uint32_t kChannelMap = vantrel_shared::kRouteProgrammerIsoChannelRegmap;

// Stands for the default input from terminal 1 in the position loops.
constexpr uint32_t kDefaultInput = kzark::kDisconnectValue;
constexpr uint32_t kDefaultSource = 1;

// Multiplexer configuration registers (whole-register field identifiers).
constexpr uint32_t kIsolatedSinkRegister = 0x80AC4F07;  // terminal 9
constexpr const uint32_t (&kTriggerLineRegisters)[9] = kzvorn_driver::kTriggerLineRegisters.id;  // 35-43
constexpr uint32_t kChannelMux132Registers[5] = {0x80FC0D62, 0x8089EABB, 0x80EBB920, 0x80CEE846, 0x80365D5B};
constexpr uint32_t kChannelMux15Registers[5] = {0x806D82A8, 0x80A54348, 0x80D7BA24, 0x806DB7D1, 0x80C9C6F2};
constexpr uint32_t kChannelMux64Registers[7] = {0x80EF3D7C, 0x80BE5675, 0x80E22859, 0x8012C0C5,
                                                0x80A400BD, 0x8016B9C1, 0x80717208};
constexpr uint32_t kChannelSinkRegister = 0x80A2C17D;  // 172-175

struct Multiplexer {
    uint32_t id;
    uint32_t map;  // 0: the terminal is no multiplexer
    uint32_t channel;
    uint32_t registerId;
    uint32_t positions;
    uint32_t cost;
};

constexpr bool inRange(uint32_t id, uint32_t first, uint32_t last) { return id >= first && id <= last; }

constexpr Multiplexer multiplexerOf(uint32_t id) {
    if (id == 9) return {id, kIsolatedFpgaMap, 0, kIsolatedSinkRegister, 31, 64};
    if (inRange(id, 35, 43)) return {id, kIsolatedFpgaMap, 0, kTriggerLineRegisters[id - 35], 31, 124};
    if (inRange(id, 132, 151))
        return {id, kChannelMap, (id - 132) % 4, kChannelMux132Registers[(id - 132) / 4], 31, 90};
    if (inRange(id, 15, 34)) return {id, kChannelMap, (id - 15) / 5, kChannelMux15Registers[(id - 15) % 5], 36, 134};
    if (inRange(id, 64, 91)) return {id, kChannelMap, (id - 64) % 4, kChannelMux64Registers[(id - 64) / 4], 36, 100};
    if (inRange(id, 172, 175)) return {id, kChannelMap, id - 172, kChannelSinkRegister, 36, 74};
    return {id, 0, 0, 0, 0, 0};
}

// The terminal wired to a position of a multiplexer.
constexpr uint32_t inputAt(const Multiplexer& mux, uint32_t position) {
    if (position == kDefaultInput) return kDefaultSource;
    if (mux.positions == 31) return position == 0 ? 2 : position == 1 ? 3 : 13 + position;
    const uint32_t c = mux.channel;
    if (position == 0) {
        if (inRange(mux.id, 64, 83)) return 180 + (mux.id - 64);
        if (inRange(mux.id, 172, 175)) return 200 + c;
        return 2;
    }
    if (position == 1) return 2;
    if (position == 2) return 3;
    if (position <= 24) return 44 + c + 4 * (position - 3);
    if (position == 25) return 152 + c;
    if (position <= 30) return 132 + c + 4 * (position - 26);
    if (position <= 34) return 156 + c + 4 * (position - 31);
    return 176 + c;
}

constexpr uint32_t flagsOf(uint32_t id) {
    if (id == kDefaultSource) return kzark::kTerminalKeepProgrammingOnRelease;
    if (inRange(id, 15, 34) || inRange(id, 132, 151)) return 0;
    if (inRange(id, 35, 43)) return kzark::kTerminalEndpointOnly | kzark::kTerminalBidirectional;
    return kzark::kTerminalEndpointOnly;
}

struct Tables {
    Terminal terminals[kTerminalCount];
    Edge edges[kEdgeCount];
    ProgrammingAction actions[kActionCount];
    uint32_t incomingList[kEdgeCount];
    uint32_t edgesBuilt;
    uint32_t actionsBuilt;
};

constexpr kzark::EdgeAttribute kEdgeAttribute{};
constexpr kzark::TerminalGroup kGroups[2]{};

// Edges leave each source contiguously, sources ascending; a source's edges go to destinations in
// descending id order and, where terminal 2 feeds one multiplexer twice, the higher position first.
constexpr Tables buildTables() {
    Tables t{};
    uint32_t outCount[kTerminalCount + 1]{};
    uint32_t inCount[kTerminalCount + 1]{};
    for (uint32_t id = 1; id <= kTerminalCount; ++id) {
        const Multiplexer mux = multiplexerOf(id);
        if (mux.map == 0) continue;
        ++outCount[kDefaultSource];
        for (uint32_t p = 0; p < mux.positions; ++p) ++outCount[inputAt(mux, p)];
        inCount[id] = mux.positions + 1;
    }
    uint32_t nextOut[kTerminalCount + 1]{};
    uint32_t nextIn[kTerminalCount + 1]{};
    uint32_t outPosition = 0;
    uint32_t inPosition = 0;
    for (uint32_t id = 1; id <= kTerminalCount; ++id) {
        Terminal& terminal = t.terminals[id - 1];
        terminal.id = id;
        terminal.firstOutgoingEdge = outCount[id] ? outPosition : 0;
        terminal.outgoingCount = outCount[id];
        terminal.firstIncomingPosition = inPosition;
        terminal.incomingCount = inCount[id];
        terminal.flags = flagsOf(id);
        nextOut[id] = outPosition;
        nextIn[id] = inPosition;
        outPosition += outCount[id];
        inPosition += inCount[id];
    }
    // Positions of each edge, filled per destination in the order of the edge rule.
    uint32_t positionOf[kEdgeCount]{};
    for (uint32_t id = kTerminalCount; id >= 1; --id) {
        const Multiplexer mux = multiplexerOf(id);
        if (mux.map == 0) continue;
        const uint32_t first = nextOut[kDefaultSource]++;
        t.edges[first].destination = id - 1;
        positionOf[first] = kDefaultInput;
        for (uint32_t p = mux.positions; p-- > 0;) {
            const uint32_t index = nextOut[inputAt(mux, p)]++;
            t.edges[index].destination = id - 1;
            positionOf[index] = p;
        }
    }
    for (uint32_t index = 0; index < outPosition; ++index) {
        Edge& edge = t.edges[index];
        const Multiplexer mux = multiplexerOf(edge.destination + 1);
        const bool isDefault = positionOf[index] == kDefaultInput;
        edge.cost = isDefault ? 0 : mux.cost;
        edge.attribute = &kEdgeAttribute;
        edge.isDefault = isDefault;
        edge.firstAction = t.actionsBuilt;
        if (mux.map == kChannelMap) t.actions[t.actionsBuilt++] = {kzark::kActionSelectChannel, mux.channel};
        t.actions[t.actionsBuilt++] = {kzark::kActionSelectRegMap, mux.map};
        t.actions[t.actionsBuilt++] = {kzark::kActionSelectRegister, mux.registerId};
        t.actions[t.actionsBuilt++] = {kzark::kActionProgramValue, positionOf[index]};
        edge.actionCount = t.actionsBuilt - edge.firstAction;
        t.incomingList[nextIn[edge.destination + 1]++] = index;
    }
    t.edgesBuilt = outPosition;
    return t;
}

constexpr Tables kTables = buildTables();
static_assert(kTables.edgesBuilt == kEdgeCount, "every edge slot is filled exactly");
static_assert(kTables.actionsBuilt == kActionCount, "every action slot is filled exactly");

}  // namespace

const kzark::TopInfo kTopInfo = {
    "TolvaneTopography",
    kTables.terminals,
    kTables.edges,
    kGroups,
    kTables.actions,
    &kEdgeAttribute,
    kTables.incomingList,
    kTerminalCount,
    kEdgeCount,
    0,
    1,
};

}  // namespace TolvaneTopography
