#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "kzark/tolvaneTopography.h"

namespace {

const kzark::TopInfo& table() { return TolvaneTopography::kTopInfo; }

const kzark::Terminal& terminal(uint32_t id) { return table().terminals[id - 1]; }

std::vector<uint32_t> outgoingEdges(uint32_t id) {
    std::vector<uint32_t> edges;
    for (uint32_t i = 0; i < terminal(id).outgoingCount; ++i) edges.push_back(terminal(id).firstOutgoingEdge + i);
    return edges;
}

std::vector<uint32_t> incomingEdges(uint32_t id) {
    std::vector<uint32_t> edges;
    for (uint32_t i = 0; i < terminal(id).incomingCount; ++i)
        edges.push_back(table().incomingList[terminal(id).firstIncomingPosition + i]);
    return edges;
}

std::vector<kzark::ProgrammingAction> actionsOf(uint32_t edge) {
    const kzark::Edge& e = table().edges[edge];
    return {table().actions + e.firstAction, table().actions + e.firstAction + e.actionCount};
}

// The position (or disconnect value) an edge programs: its last action.
uint32_t positionOf(uint32_t edge) { return actionsOf(edge).back().value; }

uint32_t sourceOf(uint32_t edge) {
    for (uint32_t id = 1; id <= table().terminalCount; ++id) {
        const kzark::Terminal& t = terminal(id);
        if (edge >= t.firstOutgoingEdge && edge < t.firstOutgoingEdge + t.outgoingCount) return id;
    }
    return 0;
}

TEST(TolvaneTopography, DescriptorAndTotals) {
    const kzark::TopInfo& info = table();
    EXPECT_STREQ(info.name, "TolvaneTopography");
    EXPECT_EQ(info.terminalCount, 203u);
    EXPECT_EQ(info.edgeCount, 2884u);
    EXPECT_EQ(info.word0, 0u);
    EXPECT_EQ(info.word1, 1u);
    static const uint8_t zeros[48] = {};
    EXPECT_EQ(std::memcmp(info.groups, zeros, 48), 0);
    EXPECT_EQ(std::memcmp(info.edgeAttribute, zeros, 16), 0);

    uint32_t actions = 0;
    std::map<uint32_t, uint32_t> costs;
    uint32_t defaults = 0;
    for (uint32_t i = 0; i < info.edgeCount; ++i) {
        const kzark::Edge& e = info.edges[i];
        EXPECT_EQ(e.firstAction, actions) << "actions are stored contiguously in edge order";
        actions += e.actionCount;
        ++costs[e.cost];
        defaults += e.isDefault;
        EXPECT_EQ(e.inversion, 0);
        EXPECT_EQ(e.attribute, info.edgeAttribute);
    }
    EXPECT_EQ(actions, 11216u);
    EXPECT_EQ(costs, (std::map<uint32_t, uint32_t>{
                         {0, 82}, {64, 31}, {74, 144}, {90, 620}, {100, 1008}, {124, 279}, {134, 720}}));
    EXPECT_EQ(defaults, 82u);
    for (uint32_t edge : outgoingEdges(1)) EXPECT_TRUE(info.edges[edge].isDefault);
}

TEST(TolvaneTopography, ParallelEdgesAndSelfLoops) {
    std::set<uint32_t> parallelTargets;
    std::set<uint32_t> selfLoops;
    for (uint32_t id = 1; id <= table().terminalCount; ++id) {
        std::multiset<uint32_t> seen;
        for (uint32_t edge : outgoingEdges(id)) {
            const uint32_t to = table().edges[edge].destination + 1;
            if (seen.count(to)) {
                EXPECT_EQ(id, 2u);
                parallelTargets.insert(to);
            }
            seen.insert(to);
            if (to == id) selfLoops.insert(id);
        }
    }
    std::set<uint32_t> expectedParallel;
    for (uint32_t id = 15; id <= 34; ++id) expectedParallel.insert(id);
    for (uint32_t id = 84; id <= 91; ++id) expectedParallel.insert(id);
    EXPECT_EQ(parallelTargets, expectedParallel);  // 28 pairs
    std::set<uint32_t> expectedLoops;
    for (uint32_t id = 35; id <= 43; ++id) expectedLoops.insert(id);
    for (uint32_t id = 64; id <= 91; ++id) expectedLoops.insert(id);
    EXPECT_EQ(selfLoops, expectedLoops);  // 37 edges
}

TEST(TolvaneTopography, TerminalClasses) {
    struct Class {
        std::vector<std::pair<uint32_t, uint32_t>> ranges;
        uint32_t flags, outgoing, incoming;
    };
    const Class classes[] = {
        {{{1, 1}}, 4, 82, 0},
        {{{2, 2}}, 1, 110, 0},
        {{{3, 3}}, 1, 82, 0},
        {{{4, 8}, {10, 14}}, 1, 0, 0},
        {{{9, 9}}, 1, 0, 32},
        {{{15, 34}}, 0, 30, 37},
        {{{35, 43}}, 3, 30, 32},
        {{{44, 63}, {92, 131}, {152, 171}, {176, 179}}, 1, 13, 0},
        {{{64, 91}}, 1, 13, 37},
        {{{132, 151}}, 0, 13, 32},
        {{{172, 175}}, 1, 0, 37},
        {{{180, 199}}, 1, 1, 0},
        {{{200, 203}}, 1, 1, 0},
    };
    uint32_t covered = 0;
    uint32_t runningIncoming = 0;
    for (const Class& c : classes) {
        for (auto [first, last] : c.ranges) {
            for (uint32_t id = first; id <= last; ++id, ++covered) {
                SCOPED_TRACE(id);
                const kzark::Terminal& t = terminal(id);
                EXPECT_EQ(t.id, id);
                EXPECT_EQ(t.flags, c.flags);
                EXPECT_EQ(t.outgoingCount, c.outgoing);
                EXPECT_EQ(t.incomingCount, c.incoming);
                EXPECT_EQ(t.programmerSelector, 0u);
                EXPECT_EQ(t.group, 0u);
                if (t.outgoingCount == 0) {
                    EXPECT_EQ(t.firstOutgoingEdge, 0u);
                }
            }
        }
    }
    EXPECT_EQ(covered, 203u);
    for (uint32_t id = 1; id <= 203; ++id) {
        EXPECT_EQ(terminal(id).firstIncomingPosition, runningIncoming) << id;
        runningIncoming += terminal(id).incomingCount;
    }
    EXPECT_EQ(runningIncoming, 2884u);
    for (uint32_t edge : outgoingEdges(180)) EXPECT_EQ(table().edges[edge].cost, 100u);
    for (uint32_t edge : outgoingEdges(200)) EXPECT_EQ(table().edges[edge].cost, 74u);
}

// Sources ascending, destinations descending; terminal 2's position-1 edge before its position-0 edge.
TEST(TolvaneTopography, EdgeAndIncomingOrder) {
    uint32_t next = 0;
    for (uint32_t id = 1; id <= 203; ++id) {
        if (terminal(id).outgoingCount == 0) continue;
        EXPECT_EQ(terminal(id).firstOutgoingEdge, next) << id;
        next += terminal(id).outgoingCount;
        const std::vector<uint32_t> edges = outgoingEdges(id);
        for (size_t i = 1; i < edges.size(); ++i) {
            const kzark::Edge& a = table().edges[edges[i - 1]];
            const kzark::Edge& b = table().edges[edges[i]];
            EXPECT_GE(a.destination, b.destination);
            if (a.destination == b.destination) {
                EXPECT_GT(positionOf(edges[i - 1]), positionOf(edges[i]));
            }
        }
    }
    EXPECT_EQ(next, 2884u);

    std::vector<bool> listed(2884);
    for (uint32_t id = 1; id <= 203; ++id) {
        const std::vector<uint32_t> incoming = incomingEdges(id);
        for (size_t i = 0; i < incoming.size(); ++i) {
            EXPECT_EQ(table().edges[incoming[i]].destination, id - 1);
            if (i > 0) {
                EXPECT_LT(incoming[i - 1], incoming[i]);
            }
            listed[incoming[i]] = true;
        }
        // Reset by first incoming edge and by default edge program the same disconnect.
        if (!incoming.empty()) {
            EXPECT_TRUE(table().edges[incoming[0]].isDefault) << id;
            EXPECT_EQ(positionOf(incoming[0]), kzark::kDisconnectValue);
        }
    }
    for (uint32_t i = 0; i < 2884; ++i) EXPECT_TRUE(listed[i]) << i;

    const std::vector<uint32_t> twoToFifteen = [] {
        std::vector<uint32_t> found;
        for (uint32_t edge : outgoingEdges(2))
            if (table().edges[edge].destination == 14) found.push_back(edge);
        return found;
    }();
    ASSERT_EQ(twoToFifteen.size(), 2u);
    EXPECT_EQ(positionOf(twoToFifteen[0]), 1u);
    EXPECT_EQ(positionOf(twoToFifteen[1]), 0u);
}

// Every multiplexer: default input plus each position exactly once, the same register and cost.
TEST(TolvaneTopography, MultiplexerProgramming) {
    struct Mux {
        uint32_t id, map, channel, registerId, positions, cost;
    };
    const Mux samples[] = {
        {9, 2, 0, 0x80AC4F07, 31, 64},   {35, 2, 0, 0x809DAEAB, 31, 124}, {43, 2, 0, 0x8056C482, 31, 124},
        {132, 3, 0, 0x80FC0D62, 31, 90}, {151, 3, 3, 0x80365D5B, 31, 90}, {15, 3, 0, 0x806D82A8, 36, 134},
        {34, 3, 3, 0x80C9C6F2, 36, 134}, {64, 3, 0, 0x80EF3D7C, 36, 100}, {91, 3, 3, 0x80717208, 36, 100},
        {173, 3, 1, 0x80A2C17D, 36, 74},
    };
    for (const Mux& mux : samples) {
        SCOPED_TRACE(mux.id);
        std::set<uint32_t> positions;
        for (uint32_t edge : incomingEdges(mux.id)) {
            const std::vector<kzark::ProgrammingAction> actions = actionsOf(edge);
            std::vector<kzark::ProgrammingAction> expected;
            if (mux.map == 3) expected.push_back({1, mux.channel});
            expected.push_back({0, mux.map});
            expected.push_back({2, mux.registerId});
            expected.push_back({3, positionOf(edge)});
            ASSERT_EQ(actions.size(), expected.size());
            for (size_t i = 0; i < actions.size(); ++i) {
                EXPECT_EQ(actions[i].kind, expected[i].kind);
                EXPECT_EQ(actions[i].value, expected[i].value);
            }
            const bool isDefault = positionOf(edge) == kzark::kDisconnectValue;
            EXPECT_EQ(table().edges[edge].cost, isDefault ? 0 : mux.cost);
            EXPECT_EQ(sourceOf(edge) == 1, isDefault);
            EXPECT_TRUE(positions.insert(positionOf(edge)).second);
        }
        std::set<uint32_t> expected = {kzark::kDisconnectValue};
        for (uint32_t p = 0; p < mux.positions; ++p) expected.insert(p);
        EXPECT_EQ(positions, expected);
    }
}

// Spot checks of the inputs-by-position wiring.
TEST(TolvaneTopography, InputsByPosition) {
    struct Input {
        uint32_t mux, position, source;
    };
    const Input inputs[] = {
        {9, 0, 2},     {9, 1, 3},     {9, 30, 43},   {140, 2, 15},  {64, 0, 180},  {83, 0, 199},  {84, 0, 2},
        {84, 1, 2},    {172, 0, 200}, {175, 0, 203}, {21, 2, 3},    {21, 3, 45},   {21, 24, 129}, {21, 25, 153},
        {21, 26, 133}, {21, 30, 149}, {21, 31, 157}, {21, 34, 169}, {21, 35, 177},
    };
    for (const Input& input : inputs) {
        uint32_t found = 0;
        for (uint32_t edge : incomingEdges(input.mux))
            if (positionOf(edge) == input.position) found = sourceOf(edge);
        EXPECT_EQ(found, input.source) << "mux " << input.mux << " position " << input.position;
    }
}

}  // namespace
