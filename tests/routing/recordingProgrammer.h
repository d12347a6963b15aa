// A route programmer that records every call in order and can fail one action.
#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

#include "kzapal/protons/status.h"
#include "atut/routeProgrammerInterface.h"
#include "kzark/tolvaneTopography.h"

namespace routing_test {

struct Call {
    enum Kind { kBegin, kApply, kEnd };
    Kind kind;
    uint32_t selector = 0;
    uint32_t actionKind = 0;
    uint32_t value = 0;
    bool afterError = false;  // the status already held an error when the call came

    bool operator==(const Call& other) const {
        return kind == other.kind && selector == other.selector && actionKind == other.actionKind &&
               value == other.value && afterError == other.afterError;
    }
};

inline std::ostream& operator<<(std::ostream& out, const Call& call) {
    if (call.kind == Call::kBegin) out << "begin";
    if (call.kind == Call::kEnd) out << "end";
    if (call.kind == Call::kApply)
        out << "apply " << call.selector << " " << call.actionKind << " 0x" << std::hex << call.value << std::dec;
    return out << (call.afterError ? " (after an error)" : "");
}

inline Call begin() { return {Call::kBegin}; }
inline Call end(bool afterError = false) { return {Call::kEnd, 0, 0, 0, afterError}; }
inline Call apply(uint32_t kind, uint32_t value, bool afterError = false) {
    return {Call::kApply, 0, kind, value, afterError};
}

// The actions of the first edge from one terminal to another, as the resources apply them.
inline std::vector<Call> actionsOf(uint32_t from, uint32_t to,
                                   const kzark::TopInfo& info = TolvaneTopography::kTopInfo) {
    const kzark::Terminal& source = info.terminals[from - 1];
    for (uint32_t i = 0; i < source.outgoingCount; ++i) {
        const kzark::Edge& edge = info.edges[source.firstOutgoingEdge + i];
        if (edge.destination + 1 != to) continue;
        std::vector<Call> calls;
        for (uint32_t a = 0; a < edge.actionCount; ++a) {
            const kzark::ProgrammingAction& action = info.actions[edge.firstAction + a];
            calls.push_back({Call::kApply, info.terminals[to - 1].programmerSelector, action.kind, action.value});
        }
        return calls;
    }
    return {};
}

// A batch: begin, the pieces in order, end.
inline std::vector<Call> batch(std::initializer_list<std::vector<Call>> pieces) {
    std::vector<Call> calls{begin()};
    for (const std::vector<Call>& piece : pieces) calls.insert(calls.end(), piece.begin(), piece.end());
    calls.push_back(end());
    return calls;
}

class RecordingProgrammer : public atut::RouteProgrammerInterface {
public:
    void beginProgramming(nKZAPALS100::tStatus& status) override { record({Call::kBegin}, status); }
    void applyProgrammingAction(uint32_t selector, uint32_t kind, uint32_t value,
                                nKZAPALS100::tStatus& status) override {
        record({Call::kApply, selector, kind, value}, status);
        if (++applied_ == failAt_ && status.isNotFatal()) KZ_SET_CODE(status, failCode_);
    }
    void endProgramming(nKZAPALS100::tStatus& status) override { record({Call::kEnd}, status); }

    // The nth applyProgrammingAction from now (1-based) records the code.
    void failAction(uint64_t nth, int64_t code) {
        failAt_ = applied_ + nth;
        failCode_ = code;
    }
    // The calls since the last take.
    std::vector<Call> take() {
        std::vector<Call> taken;
        taken.swap(calls_);
        return taken;
    }

private:
    void record(Call call, const nKZAPALS100::tStatus& status) {
        call.afterError = status.isFatal();
        calls_.push_back(call);
    }

    std::vector<Call> calls_;
    uint64_t applied_ = 0;
    uint64_t failAt_ = 0;
    int64_t failCode_ = 0;
};

}  // namespace routing_test
