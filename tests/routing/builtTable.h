// A routing table made at run time in vectors, so that a test can build or spoil one.
#pragma once

#include <cstdint>
#include <vector>

#include "kzark/topInfo.h"

namespace routing_test {

struct BuiltTable {
    BuiltTable() = default;
    BuiltTable(const BuiltTable&) = delete;
    BuiltTable& operator=(const BuiltTable&) = delete;

    // With the terminals (each terminal's edges contiguous, its group set), the edges and the
    // groups' members in place: the incoming list in edge order per terminal, the group table
    // with its end, and the descriptor.
    void finish(const char* name) {
        incoming.clear();
        for (uint32_t t = 0; t < terminals.size(); ++t) {
            terminals[t].firstIncomingPosition = static_cast<uint32_t>(incoming.size());
            for (uint32_t e = 0; e < edges.size(); ++e)
                if (edges[e].destination == t) incoming.push_back(e);
            terminals[t].incomingCount = static_cast<uint32_t>(incoming.size()) - terminals[t].firstIncomingPosition;
        }
        groups.clear();
        for (const std::vector<uint32_t>& group : members)
            groups.push_back({group.data(), {}, static_cast<uint32_t>(group.size())});
        groups.push_back({});
        info = {name, terminals.data(), edges.data(), groups.data(), actions.data(), &attribute, incoming.data(),
                static_cast<uint32_t>(terminals.size()), static_cast<uint32_t>(edges.size()), 0, 1};
    }

    kzark::EdgeAttribute attribute{};
    std::vector<kzark::Terminal> terminals;
    std::vector<kzark::Edge> edges;
    std::vector<kzark::ProgrammingAction> actions;
    std::vector<uint32_t> incoming;
    std::vector<std::vector<uint32_t>> members;  // terminal indices, one list per group
    std::vector<kzark::TerminalGroup> groups;
    kzark::TopInfo info{};
};

}  // namespace routing_test
