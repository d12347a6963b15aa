// One step of a path through a routing graph: the edge taken and the terminal it reaches.
#pragma once

namespace kzark {
struct EdgeState;
struct TerminalState;
}  // namespace kzark

namespace kzgta {

struct PathSegment {
    kzark::EdgeState* edge;
    kzark::TerminalState* terminal;
};

}  // namespace kzgta
