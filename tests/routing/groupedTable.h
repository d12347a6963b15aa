// A small table with terminal groups.
//
//   1 D  default source: default inputs of A, B, X and E (cost 0, disconnect)
//   2 S  source: A (10), B (5), B again inverting (9), F (7)
//   3 A  bidirectional, group 1: X (1)
//   4 B  bidirectional, group 1: X (20)
//   5 X  sink
//   6 E  group 2: X (2)
//   7 F  group 2, whose only input is no default one
//   8 G  group 1, without inputs: X (4)
//
// Each terminal's programmer selector is its id, and each action programs the edge's index (the
// default inputs 0xFFFF), so every edge's writes can be told apart.
#pragma once

#include <cstdint>

#include "kzark/topInfo.h"
#include "routing/builtTable.h"

namespace routing_test {

struct GroupedTable : BuiltTable {
    enum : uint32_t { D = 1, S, A, B, X, E, F, G };

    GroupedTable() {
        //                    from to cost inversion default
        const uint32_t list[][5] = {{D, A, 0, 0, 1}, {D, B, 0, 0, 1}, {D, X, 0, 0, 1},  {D, E, 0, 0, 1},
                                    {S, A, 10, 0, 0}, {S, B, 5, 0, 0}, {S, B, 9, 1, 0},  {S, F, 7, 0, 0},
                                    {A, X, 1, 0, 0},  {B, X, 20, 0, 0}, {E, X, 2, 0, 0}, {G, X, 4, 0, 0}};
        const uint32_t groupOf[] = {0, 0, 0, 1, 1, 0, 2, 2, 1};
        const uint32_t flagsOf[] = {0, 0, 0, kzark::kTerminalBidirectional, kzark::kTerminalBidirectional, 0, 0, 0, 0};
        for (uint32_t id = D; id <= G; ++id) {
            kzark::Terminal terminal{id, id, 0, 0, 0, 0, groupOf[id], flagsOf[id]};
            terminal.firstOutgoingEdge = static_cast<uint32_t>(edges.size());
            for (const auto& e : list) {
                if (e[0] != id) continue;
                const uint32_t index = static_cast<uint32_t>(edges.size());
                actions.push_back({kzark::kActionProgramValue, e[4] ? kzark::kDisconnectValue : index});
                edges.push_back({e[2], e[1] - 1, &attribute, 0, index, 1, uint8_t(e[3]), uint8_t(e[4])});
            }
            terminal.outgoingCount = static_cast<uint32_t>(edges.size()) - terminal.firstOutgoingEdge;
            terminals.push_back(terminal);
        }
        members = {{A - 1, B - 1, G - 1}, {E - 1, F - 1}};
        finish("Grouped");
    }
};

}  // namespace routing_test
