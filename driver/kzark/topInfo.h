// Records of a routing graph table: terminals, directed edges and the register writes behind each edge.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kzark {

constexpr uint32_t kTerminalEndpointOnly = 1u << 0;
constexpr uint32_t kTerminalBidirectional = 1u << 1;
constexpr uint32_t kTerminalKeepProgrammingOnRelease = 1u << 2;

// Action kinds, executed in order by the route programmer.
constexpr uint32_t kActionSelectRegMap = 0;
constexpr uint32_t kActionSelectChannel = 1;
constexpr uint32_t kActionSelectRegister = 2;
constexpr uint32_t kActionProgramValue = 3;

// Value of a programming action that disconnects a multiplexer.
constexpr uint32_t kDisconnectValue = 0xFFFF;

struct Terminal {
    uint32_t id;
    uint32_t programmerSelector;
    uint32_t firstOutgoingEdge;
    uint32_t outgoingCount;
    uint32_t firstIncomingPosition;
    uint32_t incomingCount;
    uint32_t group;  // 1-based index into the group table; 0 for none
    uint32_t flags;
};

// Shared by every edge; the engine never reads it.
struct EdgeAttribute {
    uint8_t bytes[16];
};

struct Edge {
    uint32_t cost;
    uint32_t destination;
    const EdgeAttribute* attribute;
    uint32_t reserved;
    uint32_t firstAction;
    uint32_t actionCount;
    uint8_t inversion;
    uint8_t isDefault;
};

struct ProgrammingAction {
    uint32_t kind;
    uint32_t value;
};

// Terminals that stand for one signal: a route through one of them takes the others with it. The
// members are terminal indices. The group table ends at its first group without members.
struct TerminalGroup {
    const uint32_t* members;
    uint8_t unused[8];
    uint32_t memberCount;
};

struct TopInfo {
    const char* name;
    const Terminal* terminals;
    const Edge* edges;
    const TerminalGroup* groups;
    const ProgrammingAction* actions;
    const EdgeAttribute* edgeAttribute;
    const uint32_t* incomingList;
    uint32_t terminalCount;
    uint32_t edgeCount;
    uint32_t word0;
    uint32_t word1;
};

}  // namespace kzark
