// The search as it runs against the search in its plain form: the queue a doubly linked list kept
// sorted by distance, each placement walking it from the front and going before the first entry at
// the same or a greater distance, and every area taken and given back through the resize
// callbacks one at a time. Both must give the same routes, costs, segments, extras and order on
// the product's table and on generated tables with inverting and parallel edges, default inputs,
// terminal groups and edge costs below and far above the search queue's ring, under generated
// reservations.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "kzark/tolvaneTopography.h"
#include "kzark/topography.h"
#include "routing/builtTable.h"

namespace {

using kzark::TerminalState;

class SortedListQueue {
public:
    // Every terminal in table order, as the reset left them (all unreached).
    SortedListQueue(TerminalState* states, uint64_t count) : states_(states), links_(count) {
        for (uint64_t i = 0; i < links_.size(); ++i) {
            links_[i].state = &states_[i];
            linkBefore(head_, links_[i]);
        }
    }

    void place(TerminalState& terminal, uint32_t distance) {
        Link& link = links_[&terminal - states_];
        unlink(link);
        terminal.distance = distance;
        Link* position = head_.next;
        while (position != &head_ && position->state->distance < distance) position = position->next;
        linkBefore(*position, link);
    }
    TerminalState* first() const { return head_.next == &head_ ? nullptr : head_.next->state; }
    void removeFirst() {
        if (head_.next != &head_) unlink(*head_.next);
    }

private:
    struct Link {
        Link* next = nullptr;
        Link* previous = nullptr;
        TerminalState* state = nullptr;
    };
    static void unlink(Link& link) {
        if (link.next == nullptr) return;
        link.previous->next = link.next;
        link.next->previous = link.previous;
        link.next = link.previous = nullptr;
    }
    static void linkBefore(Link& position, Link& link) {
        link.next = &position;
        link.previous = position.previous;
        position.previous->next = &link;
        position.previous = &link;
    }

    TerminalState* states_;
    std::vector<Link> links_;
    Link head_{&head_, &head_, nullptr};
};

// A table made at run time: terminal ids 1..n, edges grouped by source, runs of one to three
// terminals in groups, costs of 0 to 3 times the scale.
struct GeneratedTable : routing_test::BuiltTable {
    GeneratedTable(std::mt19937& random, uint32_t terminalCount, uint32_t costScale) {
        std::uniform_int_distribution<uint32_t> pick(0, terminalCount - 1);
        std::uniform_int_distribution<uint32_t> percent(0, 99);
        for (uint32_t t = 0; t < terminalCount; ++t) {
            kzark::Terminal terminal{};
            terminal.id = t + 1;
            terminal.firstOutgoingEdge = static_cast<uint32_t>(edges.size());
            terminal.flags = (percent(random) < 10 ? kzark::kTerminalEndpointOnly : 0) |
                             (percent(random) < 15 ? kzark::kTerminalBidirectional : 0);
            const uint32_t outgoing = percent(random) % 6;
            for (uint32_t e = 0; e < outgoing; ++e) {
                kzark::Edge edge{};
                // Small costs, so that many distances tie.
                edge.cost = percent(random) % 4 * costScale;
                edge.destination = pick(random);
                edge.attribute = &attribute;
                edge.inversion = percent(random) < 30 ? 1 : 0;
                edge.isDefault = percent(random) < 20 ? 1 : 0;
                edges.push_back(edge);
                // A parallel edge of the other inversion, sometimes at another cost.
                if (percent(random) < 25) {
                    edge.inversion ^= 1;
                    edge.cost += percent(random) % 2 * costScale;
                    edges.push_back(edge);
                }
            }
            terminal.outgoingCount = static_cast<uint32_t>(edges.size()) - terminal.firstOutgoingEdge;
            terminals.push_back(terminal);
        }
        for (uint32_t t = 0; t < terminalCount; ++t) {
            if (percent(random) >= 20) continue;
            members.emplace_back();
            for (uint32_t size = 1 + percent(random) % 3; size-- > 0 && t < terminalCount; ++t) {
                members.back().push_back(t);
                terminals[t].group = static_cast<uint32_t>(members.size());
            }
        }
        finish("Generated");
    }
};

class Searcher {
public:
    explicit Searcher(const kzark::TopInfo& info) : terminals_(info.terminalCount), edges_(info.edgeCount) {
        topography.initialize(info, terminals_.data(), edges_.data());
        topography.segmentResize.context = &heap_;
        topography.routeResize.context = &heap_;
    }

    // Some edges reserved, some unavailable, each independently.
    void reserveSome(std::mt19937& random) {
        std::uniform_int_distribution<uint32_t> percent(0, 99);
        for (uint64_t e = 0; e < topography.edgeCount; ++e) {
            topography.edgeStates[e].reservationCount = percent(random) < 10 ? 1 : 0;
            topography.edgeStates[e].available = percent(random) < 15 ? 0 : 1;
        }
    }

    // Everything a calculation hands back, written out: the search as it runs.
    std::string calculate(const std::vector<kzark::RouteCalculationSeedBase>& seeds,
                          const std::vector<uint32_t>& destinations, uint32_t flags) {
        topography.segmentResize.function = topography.routeResize.function = kzark::growOnlyHeapResizeFn;
        return calculate(seeds, destinations, flags, [&](kzark::Route**& routes, uint32_t& count, tStatus& status) {
            return topography.calculateRoute(7, seeds.data(), static_cast<uint32_t>(seeds.size()), nullptr,
                                             destinations.data(), static_cast<uint32_t>(destinations.size()), flags,
                                             routes, count, status);
        });
    }
    // The plain form.
    std::string calculatePlainly(const std::vector<kzark::RouteCalculationSeedBase>& seeds,
                                 const std::vector<uint32_t>& destinations, uint32_t flags) {
        // The same heap behind another callback, which the search does not recognise.
        topography.segmentResize.function = topography.routeResize.function = [](void* old, uint64_t size, void* heap) {
            return kzark::growOnlyHeapResizeFn(old, size, heap);
        };
        SortedListQueue queue(topography.terminalStates, topography.terminalCount);
        return calculate(seeds, destinations, flags, [&](kzark::Route**& routes, uint32_t& count, tStatus& status) {
            return topography.calculateRouteWith(queue, 7, seeds.data(), static_cast<uint32_t>(seeds.size()), nullptr,
                                                 destinations.data(), static_cast<uint32_t>(destinations.size()),
                                                 flags, routes, count, status);
        });
    }

    kzark::Topography topography;

private:
    using tStatus = nKZAPALS100::tStatus;

    std::string calculate(const std::vector<kzark::RouteCalculationSeedBase>& seeds,
                          const std::vector<uint32_t>& destinations, uint32_t flags,
                          const std::function<bool(kzark::Route**&, uint32_t&, tStatus&)>& search) {
        tStatus status;
        kzark::Route** routes = nullptr;
        uint32_t count = 0;
        const bool nothing = search(routes, count, status);
        std::ostringstream out;
        out << "nothing " << nothing << " code " << status.code << " routes " << count << "\n";
        for (uint32_t r = 0; r < count; ++r) {
            const kzark::Route& route = *routes[r];
            out << "from " << route.source->terminal->id << " cost " << route.cost << " inverted "
                << int(route.inverted) << ":";
            for (uint32_t s = 0; s < route.segmentCount; ++s)
                out << " " << (route.segments[s].edge - topography.edgeStates) << ">"
                    << route.segments[s].terminal->terminal->id;
            for (uint32_t e = 0; e < route.extraCount; ++e) {
                const kzgta::PathSegment& extra = route.extras[e];
                out << " +";
                if (extra.edge != nullptr) out << (extra.edge - topography.edgeStates);
                out << ">" << extra.terminal->terminal->id;
            }
            out << "\n";
        }
        topography.releaseRoutes(routes, count);
        return out.str();
    }

    std::vector<kzark::TerminalState> terminals_;
    std::vector<kzark::EdgeState> edges_;
    kzark::GrowOnlyHeap heap_{kzark::GrowOnlyHeap::kCalculationBlockSize, kzark::GrowOnlyHeap::kAlignment};
};

// Queries of one to three seeds (repeats, and start costs near the unreached mark, included) to
// one to twelve destinations, with and without the unavailable edges. Returns how many of them
// gave a route that carries group members.
uint32_t compareQueries(Searcher& searcher, std::mt19937& random, uint32_t queries, const char* table) {
    uint32_t withExtras = 0;
    const uint32_t terminalCount = static_cast<uint32_t>(searcher.topography.terminalCount);
    std::uniform_int_distribution<uint32_t> pickId(1, terminalCount);
    std::uniform_int_distribution<uint32_t> percent(0, 99);
    for (uint32_t q = 0; q < queries; ++q) {
        searcher.reserveSome(random);
        std::vector<kzark::RouteCalculationSeedBase> seeds(1 + percent(random) % 3);
        for (auto& seed : seeds) {
            seed = {pickId(random), percent(random) % 4, 0, {}};
            if (percent(random) < 10) seed.startCost = percent(random) * 37;  // some beyond the ring
            if (percent(random) < 5) seed.startCost = kzark::kUnreachedDistance - percent(random) % 3;
        }
        if (percent(random) < 10) seeds.push_back({seeds[0].terminalId, percent(random) % 6, 0, {}});
        std::vector<uint32_t> destinations(1 + percent(random) % 12);
        for (uint32_t& id : destinations) id = pickId(random);
        const uint32_t flags = percent(random) < 20 ? kzark::kCalculateUseUnavailableEdges : 0;
        const std::string expected = searcher.calculatePlainly(seeds, destinations, flags);
        EXPECT_EQ(searcher.calculate(seeds, destinations, flags), expected) << table << ", query " << q;
        if (::testing::Test::HasFailure()) return withExtras;
        withExtras += expected.find(" +") != std::string::npos;
    }
    return withExtras;
}

TEST(SearchForms, GiveTheSameRoutesOnTheProductTable) {
    std::mt19937 random(36);
    Searcher searcher(TolvaneTopography::kTopInfo);
    compareQueries(searcher, random, 400, "product table");
    // The settle-all query: every multiplexer from both wired sources.
    std::vector<uint32_t> everyMultiplexer;
    for (uint32_t i = 0; i < TolvaneTopography::kTopInfo.terminalCount; ++i)
        if (TolvaneTopography::kTopInfo.terminals[i].incomingCount != 0)
            everyMultiplexer.push_back(TolvaneTopography::kTopInfo.terminals[i].id);
    Searcher fresh(TolvaneTopography::kTopInfo);
    const std::vector<kzark::RouteCalculationSeedBase> seeds = {{2, 0, 0, {}}, {3, 0, 0, {}}};
    EXPECT_EQ(fresh.calculate(seeds, everyMultiplexer, 0), fresh.calculatePlainly(seeds, everyMultiplexer, 0));
}

TEST(SearchForms, GiveTheSameRoutesOnGeneratedTables) {
    std::mt19937 random(3636);
    uint32_t withExtras = 0;
    for (uint32_t t = 0; t < 60; ++t) {
        // Costs within the ring, across it and far beyond it.
        GeneratedTable table(random, 4 + t % 40, t % 3 == 0 ? 1 : t % 3 == 1 ? 97 : 1u << 26);
        Searcher searcher(table.info);
        withExtras += compareQueries(searcher, random, 40, ("generated table " + std::to_string(t)).c_str());
        if (HasFailure()) return;
    }
    EXPECT_GT(withExtras, 100u) << "the group steps ran";
}

// Placements as a search makes them (seeds anywhere, then distances no smaller than the last one
// given up), many of them at the ring's width and its multiples, where a bucket comes round again.
TEST(SearchForms, TheQueueKeepsTheListsOrderAtTheRingsEdges) {
    std::mt19937 random(256);
    std::uniform_int_distribution<uint32_t> percent(0, 99);
    const uint32_t steps[] = {0, 1, 255, 256, 257, 511, 512, 513, 100};
    constexpr uint32_t kTerminals = 48;
    for (uint32_t round = 0; round < 300; ++round) {
        std::vector<TerminalState> ringStates(kTerminals);
        std::vector<TerminalState> listStates(kTerminals);
        for (uint32_t t = 0; t < kTerminals; ++t)
            ringStates[t].distance = listStates[t].distance = kzark::kUnreachedDistance;
        kzark::SearchQueue ring;
        SortedListQueue list(listStates.data(), kTerminals);
        std::vector<bool> settled(kTerminals);
        const auto place = [&](uint32_t t, uint32_t distance) {
            ring.place(ringStates[t], distance);
            list.place(listStates[t], distance);
        };
        for (uint32_t seeds = 1 + percent(random) % 4; seeds-- > 0;)
            place(percent(random) % kTerminals,
                  percent(random) < 20 ? percent(random) * 300 : percent(random) % 3 * 256);
        std::vector<uint32_t> fromRing;
        std::vector<uint32_t> fromList;
        for (TerminalState* first = ring.first(); first != nullptr; first = ring.first()) {
            const uint32_t distance = first->distance;
            fromRing.push_back(static_cast<uint32_t>(first - ringStates.data()));
            fromList.push_back(static_cast<uint32_t>(list.first() - listStates.data()));
            settled[fromRing.back()] = true;
            ring.removeFirst();
            list.removeFirst();
            for (uint32_t placements = percent(random) % 4; placements-- > 0;) {
                const uint32_t t = percent(random) % kTerminals;
                const uint32_t candidate =
                    distance + steps[percent(random) % 9] + (percent(random) < 10 ? percent(random) : 0);
                if (!settled[t] && candidate < ringStates[t].distance) place(t, candidate);
            }
        }
        ASSERT_EQ(fromRing, fromList) << "round " << round;
        EXPECT_EQ(list.first() == nullptr || list.first()->distance == kzark::kUnreachedDistance, true);
    }
}

}  // namespace
